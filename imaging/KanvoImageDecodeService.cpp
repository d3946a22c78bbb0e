#include "imaging/KanvoImageDecodeService.h"

#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoDecodeJob.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMutexLocker>
#include <QThreadPool>
#include <QtConcurrent>

KanvoImageDecodeService::KanvoImageDecodeService() : cache_(KanvoAllocation::budgetBytes()) {}

KanvoImageDecodeService& KanvoImageDecodeService::shared() {
    static KanvoImageDecodeService service;
    return service;
}

void KanvoImageDecodeService::decodeURL(const QUrl& url, Completion completion, QSize previewCovers,
                                        Completion sharpened) {
    KanvoImage cached;
    const QMutexLocker lock(&mutex_);
    if (const std::shared_ptr<KanvoDecodeJob> job = jobFor(url, previewCovers, cached)) {
        job->subscribe(std::move(completion), previewCovers.isValid(), std::move(sharpened));
        return;
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [completion = std::move(completion), cached = std::move(cached)] { completion(cached); },
        Qt::QueuedConnection);
}

void KanvoImageDecodeService::prefetch(const QUrl& url, QSize previewCovers) {
    KanvoImage cached;
    const QMutexLocker lock(&mutex_);
    (void)jobFor(url, previewCovers, cached);
}

std::shared_ptr<KanvoDecodeJob>
KanvoImageDecodeService::jobFor(const QUrl& url, QSize previewCovers, KanvoImage& cached) {
    const QString key = cacheKey(url);
    cached = cache_.take(key);
    if (!cached.isNull()) {
        return nullptr;
    }
    if (const auto running = running_.constFind(key); running != running_.constEnd()) {
        return *running;
    }
    auto job = std::make_shared<KanvoDecodeJob>(url.toLocalFile(), previewCovers);
    running_.insert(key, job);
    // The job hands its images over by queued calls, so the future is not needed.
    (void)QtConcurrent::run(&pool_, [this, key, job] {
        const KanvoImage image = job->run([this](qint64 bytes) {
            const QMutexLocker lock(&mutex_);
            cache_.makeRoom(bytes);
        });
        const QMutexLocker lock(&mutex_);
        if (!image.isNull()) {
            cache_.insert(key, image);
        }
        running_.remove(key);
    });
    return job;
}

KanvoImage KanvoImageDecodeService::decodeFile(const QString& path) {
    return std::make_shared<KanvoDecodeJob>(path, QSize())->run([](qint64) {});
}

QString KanvoImageDecodeService::cacheKey(const QUrl& url) {
    const QFileInfo file(url.toLocalFile());
    return QStringLiteral("%1|%2|%3")
        .arg(url.toString())
        .arg(file.lastModified().toMSecsSinceEpoch())
        .arg(file.size());
}
