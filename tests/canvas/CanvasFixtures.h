#pragma once

#include "canvas/KanvoCanvasView.h"

#include <QColor>
#include <QDir>
#include <QSemaphore>
#include <QSize>
#include <QString>
#include <QUrl>

// Files built from bytes in the test's own folder.
QString writeFile(const QDir& dir, const QString& name, const QByteArray& bytes);
// A binary PPM filled with one colour.
QString writePpm(const QDir& dir, const QString& name, QSize size, QColor color);
// A PNG whose signature and IHDR pass header inspection but whose data is garbage.
QString writeCorruptPng(const QDir& dir, const QString& name);

QUrl fileUrl(const QString& path);

// Holds the global thread pool's only worker until released, so no decode can
// start while it lives; cache hits are still served.
class DecodePoolBlocker {
public:
    DecodePoolBlocker();
    ~DecodePoolBlocker();
    void release();

private:
    QSemaphore started_;
    QSemaphore gate_;
    bool released_ = false;
};

// Lets the tests that block decoding own every worker of the global pool.
void useOneDecodeThread();

// A 1000 x 800 canvas (canvas rectangle 80, 72, 840, 656) showing a session.
struct CanvasFixture {
    CanvasFixture();
    kanvo::ui::DocumentSession session;
    QWidget window;
    KanvoCanvasView* canvas;
};

// Opens the file and waits until its pixels are shown; false on any failure.
bool openAndDecode(KanvoCanvasView& canvas, const QString& path);

// Converts a y-up view point of a widget into Qt's widget coordinates.
QPoint qtPoint(const QWidget& widget, QPointF viewPoint);
