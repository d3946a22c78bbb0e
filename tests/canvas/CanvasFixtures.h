#pragma once

#include "canvas/KanvoCanvasView.h"

#include <QDir>
#include <QImageWriter>
#include <QtTest>

inline QUrl fileUrl(const QString& path) {
    return QUrl::fromLocalFile(path);
}

inline QString writeFile(const QDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write fixture %s", qPrintable(file.fileName()));
    }
    return file.fileName();
}

// One colour, in the extension's format; only a translucent colour adds alpha.
inline QString writeImage(const QDir& dir, const QString& name, QColor color,
                          QSize size = {24, 16}) {
    QImage image(size, color.alpha() < 255 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image.fill(color);
    return QImageWriter(dir.filePath(name)).write(image) ? dir.filePath(name) : QString();
}

// A 1000 x 800 canvas (canvas rectangle 80, 72, 840, 656) showing a session.
struct CanvasFixture {
    CanvasFixture() { canvas->setSession(&session); }
    kanvo::ui::DocumentSession session;
    KanvoCanvasView view{QRectF(0, 0, 1000, 800), nullptr};
    KanvoCanvasView* canvas = &view;
};

// Opens the file and waits until its pixels are shown.
inline bool openAndDecode(KanvoCanvasView& canvas, const QString& path) {
    return canvas.openImageURL(fileUrl(path)) &&
           QTest::qWaitFor([&] { return !canvas.image().isNull(); });
}
