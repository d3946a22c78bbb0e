#include "generate/KanvoSDBackend.h"

#include "generate/KanvoSDURLLine.h"
#include "kit/KanvoResources.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSemaphore>
#include <QThread>
#include <cstdlib>
#include <memory>

namespace {

const QString defaultURL = QStringLiteral("http://127.0.0.1:51544");
constexpr int directoryCandidates = 8;
constexpr int unloadTransferTimeoutMs = 5000;
constexpr int unloadWaitMs = 6000;

QString joined(const QString& base, const QString& relative) {
    if (base.isEmpty()) {
        return relative;
    }
    return base.endsWith(u'/') ? base + relative : base + u'/' + relative;
}

// The root is its own parent, so near the root a candidate repeats.
QString parentOf(const QString& directory) {
    const qsizetype slash = directory.lastIndexOf(u'/');
    if (slash < 0) {
        return QString();
    }
    return slash == 0 ? QStringLiteral("/") : directory.left(slash);
}

} // namespace

QString KanvoSDBackend::resolveFile(const QString& relative) {
    QStringList bases{KanvoResources::directory()};
    QString directory = QCoreApplication::applicationDirPath();
    for (int i = 0; i < directoryCandidates; ++i) {
        bases << directory;
        directory = parentOf(directory);
    }
    if (const char* root = std::getenv("KANVO_ROOT")) {
        bases << QString::fromUtf8(root);
    }
    for (const QString& base : bases) {
        const QString candidate = joined(base, relative);
        if (QFileInfo::exists(candidate)) {
            return candidate;
        }
    }
    return QString();
}

// Asked on every progress poll, on the GUI thread: a FIFO would block the
// open and /dev/zero never end, so only a regular file is read, and only so far.
QString KanvoSDBackend::sdURL() {
    const QString path = resolveFile(configPath);
    QFile config(path);
    if (!QFileInfo(path).isFile() || !config.open(QIODevice::ReadOnly)) {
        return defaultURL;
    }
    const QByteArray bytes = config.read(largestConfigBytes + 1);
    if (bytes.size() > largestConfigBytes) {
        return defaultURL;
    }
    return KanvoSDURLLine::firstValue(bytes).value_or(defaultURL);
}

// The request is served by a thread of its own with its own event loop, so
// the answer can arrive while the calling (GUI) thread blocks on the
// semaphore. If the wait gives up first, the thread is left to finish by
// itself; the semaphore is shared so that it outlives this call.
void KanvoSDBackend::unloadCheckpointSync() {
    const QUrl url(sdURL() + QStringLiteral("/sdapi/v1/unload-checkpoint"));
    auto answered = std::make_shared<QSemaphore>(0);
    QThread* worker = QThread::create([url, answered] {
        QNetworkAccessManager network;
        QNetworkRequest request(url);
        request.setTransferTimeout(unloadTransferTimeoutMs);
        QNetworkReply* reply = network.post(request, QByteArray());
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished()) {
            loop.exec();
        }
        delete reply;
        answered->release();
    });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
    if (answered->tryAcquire(1, unloadWaitMs)) {
        worker->wait();
        delete worker;
    }
}
