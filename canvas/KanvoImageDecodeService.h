#pragma once

#include <QCache>
#include <QImage>
#include <QMutex>
#include <QUrl>
#include <functional>

// Decodes image files on the global thread pool and keeps the last 8 decoded
// images. An entry is keyed by the URL together with the file's modification
// time and size, so a file rewritten under the same name (the generate bar's
// fixed output file) is decoded afresh instead of showing its old pixels.
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

    static QString cacheKey(const QUrl& url);
    QImage cached(const QString& key);
    void store(const QString& key, const QImage& image);

    QMutex mutex_;
    QCache<QString, QImage> cache_;
};
