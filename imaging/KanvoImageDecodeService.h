#pragma once

#include "imaging/KanvoImage.h"
#include "imaging/KanvoImageCache.h"

#include <QHash>
#include <QMutex>
#include <QSize>
#include <QThreadPool>
#include <QUrl>
#include <functional>
#include <memory>

class KanvoDecodeJob;

// Decodes image files on a thread pool of its own into images with their
// representations, and keeps recent ones in a KanvoImageCache. An entry is
// keyed by the URL together with the file's modification time and size, so
// a file rewritten under the same name (the generate bar's fixed output
// file) is decoded afresh instead of showing its old pixels. Requests for a
// file already being decoded join that decode.
class KanvoImageDecodeService {
public:
    // Receives the decoded image, or a null image when decoding failed.
    using Completion = std::function<void(const KanvoImage&)>;

    static KanvoImageDecodeService& shared();

    // Returns at once. The completion runs exactly once, later, on the GUI
    // thread, also when the image comes from the cache. With a valid
    // `previewCovers` (device pixels), a file larger than that is shown
    // first as a preview (a JPEG decoded reduced, a PNG's pixels before their
    // halvings, an overview as it arrives): the completion then gets that
    // preview, and `sharpened` any newer one and the full image (null if it
    // failed) when it is ready.
    void decodeURL(const QUrl& url, Completion completion, QSize previewCovers = {},
                   Completion sharpened = {});

    // Starts decoding a file that is about to be opened (the one named on the
    // command line, while the window is still being built); the open's
    // request then joins this decode.
    void prefetch(const QUrl& url, QSize previewCovers);

    // The decode job without a preview: the file's first image, upright, with
    // its profile and pyramid; null when it cannot be decoded.
    static KanvoImage decodeFile(const QString& path);

    // The threads decodes run on: a caller that holds them all (a test of
    // what happens between a header's reading and its decode) holds every
    // decode back; cache hits still complete.
    QThreadPool& pool() { return pool_; }

private:
    KanvoImageDecodeService();

    // The running job for `url`, started when there is none; null with
    // `cached` set when the cache holds the image. Called with the mutex held.
    std::shared_ptr<KanvoDecodeJob> jobFor(const QUrl& url, QSize previewCovers,
                                           KanvoImage& cached);
    static QString cacheKey(const QUrl& url);

    QMutex mutex_;
    KanvoImageCache cache_;
    QHash<QString, std::shared_ptr<KanvoDecodeJob>> running_;
    // Not Qt's global pool: a job waits there for its preview to be painted,
    // and the painting itself runs Qt's fills and scaling on the global pool,
    // which on one core has no other thread (a stall until the job gives up
    // waiting). Last, so that it waits for its jobs before the rest goes.
    QThreadPool pool_;
};
