#include "canvas/KanvoImageDecodeService.h"

#include <QCoreApplication>
#include <QFileInfo>
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
    const QString key = cacheKey(url);
    if (QImage hit = cached(key); !hit.isNull()) {
        completeOnGuiThread(std::move(completion), std::move(hit));
        return;
    }
    // Completion travels by a queued call, so the future is not needed.
    (void)QtConcurrent::run(QThreadPool::globalInstance(),
                            [this, url, key, completion = std::move(completion)]() mutable {
                                QImage image = decodeFile(url.toLocalFile());
                                if (!image.isNull()) {
                                    store(key, image);
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

QString KanvoImageDecodeService::cacheKey(const QUrl& url) {
    const QFileInfo file(url.toLocalFile());
    return QStringLiteral("%1|%2|%3")
        .arg(url.toString())
        .arg(file.lastModified().toMSecsSinceEpoch())
        .arg(file.size());
}

QImage KanvoImageDecodeService::cached(const QString& key) {
    QMutexLocker lock(&mutex_);
    const QImage* image = cache_.object(key);
    return image ? *image : QImage();
}

void KanvoImageDecodeService::store(const QString& key, const QImage& image) {
    QMutexLocker lock(&mutex_);
    cache_.insert(key, new QImage(image));
}
