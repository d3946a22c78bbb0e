#pragma once

#include "canvas/KanvoCanvasView.h"

#include <QColor>
#include <QDir>
#include <QSemaphore>

QString writeFile(const QDir& dir, const QString& name, const QByteArray& bytes);
QString writePpm(const QDir& dir, const QString& name, QSize size, QColor color);
// Signature and IHDR pass header inspection; the data is garbage.
QString writeCorruptPng(const QDir& dir, const QString& name);
inline QUrl fileUrl(const QString& path) {
    return QUrl::fromLocalFile(path);
}

// Occupies the global pool's only worker (see useOneDecodeThread) so no
// decode can start while it lives; cache hits are still served. Painting
// must not happen meanwhile: the raster engine fills on the same pool.
class DecodePoolBlocker {
public:
    DecodePoolBlocker();
    ~DecodePoolBlocker();

private:
    QSemaphore started_;
    QSemaphore gate_;
};
void useOneDecodeThread();

// A 1000 x 800 canvas (canvas rectangle 80, 72, 840, 656) showing a session.
struct CanvasFixture {
    CanvasFixture();
    kanvo::ui::DocumentSession session;
    QWidget window;
    KanvoCanvasView* canvas;
};

// Opens the file and waits until its pixels are shown.
bool openAndDecode(KanvoCanvasView& canvas, const QString& path);

// A y-up view point of the widget in Qt's widget coordinates.
inline QPoint qtPoint(const QWidget& widget, QPointF viewPoint) {
    return QPoint(qRound(viewPoint.x()), qRound(widget.height() - viewPoint.y()));
}
