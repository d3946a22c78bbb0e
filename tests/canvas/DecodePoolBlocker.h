#pragma once

#include <QSemaphore>
#include <QThreadPool>

// Occupies every thread of the global pool, so a decode asked for while it
// lives waits until it goes; cache hits still complete. Nothing may paint
// meanwhile (raster fills use the pool).
class DecodePoolBlocker {
public:
    DecodePoolBlocker() {
        for (int i = 0; i < QThreadPool::globalInstance()->maxThreadCount(); ++i) {
            QThreadPool::globalInstance()->start([this] { gate_.acquire(); });
        }
    }
    ~DecodePoolBlocker() {
        gate_.release(QThreadPool::globalInstance()->maxThreadCount());
        QThreadPool::globalInstance()->waitForDone();
    }

private:
    QSemaphore gate_;
};
