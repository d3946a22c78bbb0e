#pragma once

#include "imaging/KanvoImage.h"
#include "imaging/KanvoImageCache.h"

#include <QMutex>
#include <QUrl>
#include <functional>

// Decodes image files on the global thread pool into images with their
// representations, and keeps recent ones in a KanvoImageCache. An entry is
// keyed by the URL together with the file's modification time and size, so
// a file rewritten under the same name (the generate bar's fixed output
// file) is decoded afresh instead of showing its old pixels.
class KanvoImageDecodeService {
public:
    // Receives the decoded image, or a null image when decoding failed.
    using Completion = std::function<void(const KanvoImage&)>;

    static KanvoImageDecodeService& shared();

    // Returns at once. The completion runs exactly once, later, on the GUI
    // thread, also when the image comes from the cache.
    void decodeURL(const QUrl& url, Completion completion);

    // The decode job: the file's first image and its pyramid; null when it
    // cannot be decoded.
    static KanvoImage decodeFile(const QString& path);

private:
    KanvoImageDecodeService();

    static QString cacheKey(const QUrl& url);

    QMutex mutex_;
    KanvoImageCache cache_;
};
