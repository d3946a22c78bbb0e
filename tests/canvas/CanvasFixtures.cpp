#include "CanvasFixtures.h"

#include <QFile>
#include <QThreadPool>
#include <QtTest>

QString writeFile(const QDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write fixture %s", qPrintable(path));
    }
    return path;
}

QString writePpm(const QDir& dir, const QString& name, QSize size, QColor color) {
    QByteArray bytes =
        QStringLiteral("P6\n%1 %2\n255\n").arg(size.width()).arg(size.height()).toLatin1();
    const char pixel[3] = {char(color.red()), char(color.green()), char(color.blue())};
    bytes.reserve(bytes.size() + qsizetype(size.width()) * size.height() * 3);
    for (qsizetype i = 0; i < qsizetype(size.width()) * size.height(); ++i) {
        bytes.append(pixel, 3);
    }
    return writeFile(dir, name, bytes);
}

QString writeCorruptPng(const QDir& dir, const QString& name) {
    QByteArray bytes = QByteArray::fromHex("89504e470d0a1a0a"         // signature
                                           "0000000d49484452"         // IHDR, 13 bytes
                                           "000000400000004008060000" // 64 x 64 RGBA
                                           "00deadbeef");             // bad CRC
    bytes.append(QByteArray(200, '\x5a'));
    return writeFile(dir, name, bytes);
}

QUrl fileUrl(const QString& path) {
    return QUrl::fromLocalFile(path);
}

DecodePoolBlocker::DecodePoolBlocker() {
    QThreadPool::globalInstance()->start([this] {
        started_.release();
        gate_.acquire();
    });
    started_.acquire();
}

DecodePoolBlocker::~DecodePoolBlocker() {
    release();
    QThreadPool::globalInstance()->waitForDone();
}

void DecodePoolBlocker::release() {
    if (!released_) {
        released_ = true;
        gate_.release();
    }
}

void useOneDecodeThread() {
    QThreadPool::globalInstance()->setMaxThreadCount(1);
}

CanvasFixture::CanvasFixture() {
    window.resize(1000, 800);
    canvas = new KanvoCanvasView(QRectF(0, 0, 1000, 800), &window);
    canvas->setSession(&session);
}

bool openAndDecode(KanvoCanvasView& canvas, const QString& path) {
    if (!canvas.openImageURL(fileUrl(path))) {
        return false;
    }
    return QTest::qWaitFor([&] { return !canvas.image().isNull(); }) &&
           canvas.statusText().isEmpty();
}

QPoint qtPoint(const QWidget& widget, QPointF viewPoint) {
    return QPoint(qRound(viewPoint.x()), qRound(widget.height() - viewPoint.y()));
}
