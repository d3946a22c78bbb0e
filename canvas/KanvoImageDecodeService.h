#pragma once

#include <QCache>
#include <QImage>
#include <QMutex>
#include <QUrl>
#include <functional>

// Decodes image files on the global thread pool and keeps the last 8 decoded
// images by URL. Entries are never checked against the file again, so a file
// rewritten under the same name shows its old pixels while it stays cached.
class KanvoImageDecodeService {
public:
    // Receives the decoded image, or a null image when decoding failed.
    using Completion = std::function<void(const QImage&)>;

    static KanvoImageDecodeService& shared();

    // Returns at once. The completion runs exactly once, later, on the GUI
    // thread, also when the image comes from the cache.
    void decodeURL(const QUrl& url, Completion completion);

    // The first image of the file at its pixel size, as ARGB32_Premultiplied
    // (with alpha) or RGB32; null when it cannot be decoded.
    static QImage decodeFile(const QString& path);

private:
    KanvoImageDecodeService();

    QImage cached(const QUrl& url);
    void store(const QUrl& url, const QImage& image);

    QMutex mutex_;
    QCache<QUrl, QImage> cache_;
};
