#pragma once

#include "imaging/KanvoImageDecodeService.h"

#include <QSemaphore>
#include <QThreadPool>

// Occupies every thread of the decode service's pool, so a decode asked for
// while it lives waits until it goes; cache hits still complete.
class DecodePoolBlocker {
public:
    DecodePoolBlocker() {
        for (int i = 0; i < pool_.maxThreadCount(); ++i) {
            pool_.start([this] { gate_.acquire(); });
        }
    }
    ~DecodePoolBlocker() {
        gate_.release(pool_.maxThreadCount());
        pool_.waitForDone();
    }

private:
    QThreadPool& pool_ = KanvoImageDecodeService::shared().pool();
    QSemaphore gate_;
};
