#pragma once

#include "imaging/KanvoImage.h"

#include <QMutex>
#include <QSemaphore>
#include <QSize>
#include <QString>
#include <functional>
#include <future>
#include <memory>
#include <vector>

// One file being decoded, with everyone waiting for it. An image larger than
// the view is first shown as a preview: a JPEG decoded reduced, which the
// full decode waits behind until it is on screen (or a moment has passed), so
// the two never compete for the cores while a person waits for the first
// pixels; a PNG's full pixels before their halvings are made. An image too
// large to hold decoded is opened in tiles, its overview first: a JPEG's
// whole, a PNG's or PPM's as it arrives, each newer preview going to
// `sharpened` until the full image does.
class KanvoDecodeJob : public std::enable_shared_from_this<KanvoDecodeJob> {
public:
    using Completion = std::function<void(const KanvoImage&)>;

    // `previewCovers`: the device pixels the image covers fitted in the view,
    // which a preview must still cover; invalid for no preview.
    KanvoDecodeJob(QString path, QSize previewCovers);

    // Runs on the GUI thread (queued) exactly once with the first image the
    // job makes: the preview when `wantsPreview`, else the full image (null
    // on failure); the full decode waits for a preview's completion to
    // return, so one that draws the preview at once has the cores to itself.
    // After a preview, `sharpened` (when given) gets the full image the same
    // way, and before it any newer preview of a series.
    void subscribe(Completion completion, bool wantsPreview, Completion sharpened);

    // The decode itself; `makeRoom` is told the bytes the image will need
    // before any pixel is decoded. Returns the full image.
    KanvoImage run(const std::function<void(qint64)>& makeRoom);

private:
    struct Subscriber {
        Completion completion;
        Completion sharpened;
        bool wantsPreview;
        bool completed = false;
    };
    void deliver(Subscriber& subscriber, const KanvoImage& image, bool isPreview);
    void publish(const KanvoImage& image, bool isPreview);
    void prepareFittedRendition(const KanvoImage& image) const;
    void showFirst(const KanvoImage& preview);
    void showArriving(const KanvoImage& preview);
    KanvoImage finish(KanvoImage full);

    const QString path_;
    const QSize previewCovers_;
    std::promise<KanvoImage> fullPromise_;
    std::shared_future<KanvoImage> full_;
    QSemaphore previewShown_;

    QMutex mutex_;
    std::vector<Subscriber> subscribers_;
    KanvoImage preview_;
    bool finished_ = false;
    KanvoImage result_;
};
