#include "imaging/KanvoImageDecodeService.h"

#include "imaging/KanvoImageDecoder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMutexLocker>
#include <QThreadPool>
#include <QtConcurrent>

namespace {

void completeOnGuiThread(KanvoImageDecodeService::Completion completion, KanvoImage image) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [completion = std::move(completion), image = std::move(image)] { completion(image); },
        Qt::QueuedConnection);
}

// Decoded pixels and the pyramid's third more, at four bytes a pixel. A size
// the decoders refuse needs no room (and its product could overflow).
qint64 expectedBytes(const QString& path) {
    const QSize size = KanvoImageDecoder::storedSize(path);
    if (!size.isValid() || !KanvoImageDecoder::fitsAllocation(size.width(), size.height())) {
        return 0;
    }
    return qint64(size.width()) * size.height() * 4 * 4 / 3;
}

} // namespace

KanvoImageDecodeService::KanvoImageDecodeService()
    : cache_(KanvoImageCache::defaultBudgetBytes()) {}

KanvoImageDecodeService& KanvoImageDecodeService::shared() {
    static KanvoImageDecodeService service;
    return service;
}

void KanvoImageDecodeService::decodeURL(const QUrl& url, Completion completion) {
    const QString key = cacheKey(url);
    KanvoImage hit;
    {
        QMutexLocker lock(&mutex_);
        hit = cache_.take(key);
    }
    if (!hit.isNull()) {
        completeOnGuiThread(std::move(completion), std::move(hit));
        return;
    }
    // Completion travels by a queued call, so the future is not needed.
    (void)QtConcurrent::run(QThreadPool::globalInstance(),
                            [this, url, key, completion = std::move(completion)]() mutable {
                                const QString path = url.toLocalFile();
                                {
                                    QMutexLocker lock(&mutex_);
                                    cache_.makeRoom(expectedBytes(path));
                                }
                                KanvoImage image = decodeFile(path);
                                if (!image.isNull()) {
                                    QMutexLocker lock(&mutex_);
                                    cache_.insert(key, image);
                                }
                                completeOnGuiThread(std::move(completion), std::move(image));
                            });
}

KanvoImage KanvoImageDecodeService::decodeFile(const QString& path) {
    return KanvoImage::withRepresentations(KanvoImageDecoder::decodeFirstImage(path));
}

QString KanvoImageDecodeService::cacheKey(const QUrl& url) {
    const QFileInfo file(url.toLocalFile());
    return QStringLiteral("%1|%2|%3")
        .arg(url.toString())
        .arg(file.lastModified().toMSecsSinceEpoch())
        .arg(file.size());
}
