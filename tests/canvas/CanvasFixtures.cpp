#include "CanvasFixtures.h"

#include <QThreadPool>
#include <QtTest>

QString writeFile(const QDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write fixture %s", qPrintable(file.fileName()));
    }
    return file.fileName();
}

QString writePpm(const QDir& dir, const QString& name, QSize size, QColor color) {
    QByteArray bytes =
        QStringLiteral("P6\n%1 %2\n255\n").arg(size.width()).arg(size.height()).toLatin1();
    const char pixel[3] = {char(color.red()), char(color.green()), char(color.blue())};
    for (int i = 0; i < size.width() * size.height(); ++i) {
        bytes.append(pixel, 3);
    }
    return writeFile(dir, name, bytes);
}

QString writeCorruptPng(const QDir& dir, const QString& name) {
    // 64 x 64 RGBA header with a wrong checksum, then filler.
    return writeFile(dir, name,
                     QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000400000004008060000"
                                         "00deadbeef") +
                         QByteArray(200, 'Z'));
}

DecodePoolBlocker::DecodePoolBlocker() {
    QThreadPool::globalInstance()->start([this] {
        started_.release();
        gate_.acquire();
    });
    started_.acquire();
}

DecodePoolBlocker::~DecodePoolBlocker() {
    gate_.release();
    QThreadPool::globalInstance()->waitForDone();
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
    return canvas.openImageURL(fileUrl(path)) &&
           QTest::qWaitFor([&] { return !canvas.image().isNull(); });
}
