#include "canvas/KanvoImageDecodeService.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QMutexLocker>
#include <QThreadPool>
#include <QtConcurrent>

namespace {

constexpr int cacheCountLimit = 8;

// Qt's default refuses images over 128 MB, which a large camera photo exceeds
// once decoded to 32 bits a pixel; 1 GB still stops absurd headers.
constexpr int decodeAllocationLimitMB = 1024;

void completeOnGuiThread(KanvoImageDecodeService::Completion completion, QImage image) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [completion = std::move(completion), image = std::move(image)] { completion(image); },
        Qt::QueuedConnection);
}

} // namespace

KanvoImageDecodeService::KanvoImageDecodeService() : cache_(cacheCountLimit) {
    QImageReader::setAllocationLimit(decodeAllocationLimitMB);
}

KanvoImageDecodeService& KanvoImageDecodeService::shared() {
    static KanvoImageDecodeService service;
    return service;
}

void KanvoImageDecodeService::decodeURL(const QUrl& url, Completion completion) {
    if (QImage hit = cached(url); !hit.isNull()) {
        completeOnGuiThread(std::move(completion), std::move(hit));
        return;
    }
    // Completion travels by a queued call, so the future is not needed.
    (void)QtConcurrent::run(QThreadPool::globalInstance(),
                            [this, url, completion = std::move(completion)]() mutable {
                                QImage image = decodeFile(url.toLocalFile());
                                if (!image.isNull()) {
                                    store(url, image);
                                }
                                completeOnGuiThread(std::move(completion), std::move(image));
                            });
}

QImage KanvoImageDecodeService::decodeFile(const QString& path) {
    if (path.isEmpty()) {
        return {};
    }
    QImageReader reader(path);
    // The document's size comes from the stored header, so the pixels must
    // not be rotated by orientation metadata.
    reader.setAutoTransform(false);
    QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                          : QImage::Format_RGB32);
    // A "@2x" file name would otherwise halve the size the canvas fits.
    image.setDevicePixelRatio(1.0);
    return image;
}

QImage KanvoImageDecodeService::cached(const QUrl& url) {
    QMutexLocker lock(&mutex_);
    const QImage* image = cache_.object(url);
    return image ? *image : QImage();
}

void KanvoImageDecodeService::store(const QUrl& url, const QImage& image) {
    QMutexLocker lock(&mutex_);
    cache_.insert(url, new QImage(image));
}
