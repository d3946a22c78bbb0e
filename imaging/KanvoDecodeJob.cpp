#include "imaging/KanvoDecodeJob.h"

#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoImageFile.h"
#include "imaging/KanvoTiledOpen.h"

#include <QCoreApplication>
#include <QMutexLocker>

namespace {

// How long the full decode waits for its preview to reach the screen; a
// preview nobody draws (a stale open) must not hold up the full image.
constexpr int previewShowingMilliseconds = 1000;

void onGuiThread(std::function<void()> work) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

// Decoded pixels and the pyramid's third more, at four bytes a pixel. A size
// the decoders refuse needs no room (and its product could overflow).
qint64 expectedBytes(QSize size) {
    if (!size.isValid() ||
        !KanvoAllocation::fits(size.width(), size.height(), KanvoAllocation::largestImageBytes())) {
        return 0;
    }
    return qint64(size.width()) * size.height() * 4 * 4 / 3;
}

} // namespace

KanvoDecodeJob::KanvoDecodeJob(QString path, QSize previewCovers)
    : path_(std::move(path)), previewCovers_(previewCovers),
      full_(fullPromise_.get_future().share()) {}

void KanvoDecodeJob::subscribe(Completion completion, bool wantsPreview, Completion sharpened) {
    const QMutexLocker lock(&mutex_);
    Subscriber& subscriber = subscribers_.emplace_back(
        Subscriber{std::move(completion), std::move(sharpened), wantsPreview});
    if (finished_) {
        deliver(subscriber, result_, false);
    } else if (!preview_.isNull() && wantsPreview) {
        deliver(subscriber, preview_, true);
    }
}

// Called with the mutex held.
void KanvoDecodeJob::deliver(Subscriber& subscriber, const KanvoImage& image, bool isPreview) {
    if (isPreview) {
        subscriber.completed = true;
        // After the completion, which draws the preview before it returns.
        onGuiThread([completion = subscriber.completion, image, job = shared_from_this()] {
            completion(image);
            onGuiThread([job] { job->previewShown_.release(); });
        });
        return;
    }
    const Completion& handler = subscriber.completed ? subscriber.sharpened : subscriber.completion;
    if (handler) {
        onGuiThread([handler, image] { handler(image); });
    }
    subscriber.completed = true;
}

void KanvoDecodeJob::publish(const KanvoImage& image, bool isPreview) {
    const QMutexLocker lock(&mutex_);
    if (isPreview) {
        preview_ = image;
    } else {
        finished_ = true;
        result_ = image;
    }
    for (Subscriber& subscriber : subscribers_) {
        if (!isPreview || (subscriber.wantsPreview && !subscriber.completed)) {
            deliver(subscriber, image, isPreview);
        } else if (subscriber.wantsPreview && subscriber.sharpened) {
            // A later preview of a series sharpens the one on screen.
            onGuiThread([handler = subscriber.sharpened, image] { handler(image); });
        }
    }
}

// The rendition the canvas asks for first, when it shows the image fitted,
// is made here rather than in its first paint: a shrink from the full image
// costs tens of milliseconds a person would wait for.
void KanvoDecodeJob::prepareFittedRendition(const KanvoImage& image) const {
    if (previewCovers_.isValid() && !image.isNull() &&
        previewCovers_.width() < image.size().width()) {
        (void)image.renditionAt(previewCovers_);
    }
}

// Shows `preview` first and lets the full image wait until it has been drawn.
void KanvoDecodeJob::showFirst(const KanvoImage& preview) {
    if (preview.isNull()) {
        return;
    }
    prepareFittedRendition(preview);
    publish(preview, true);
    (void)previewShown_.tryAcquire(1, previewShowingMilliseconds);
}

// Shows `preview`, one of a series that fills in as the pass goes on, without
// waiting for it to be drawn: the pass is what a person waits for.
void KanvoDecodeJob::showArriving(const KanvoImage& preview) {
    prepareFittedRendition(preview);
    publish(preview, true);
}

KanvoImage KanvoDecodeJob::run(const std::function<void(qint64)>& makeRoom) {
    const KanvoImageFile file(path_);
    // Whoever needs the full image now (an export) should not wait for a
    // preview to be drawn first.
    const std::weak_ptr<KanvoDecodeJob> job = weak_from_this();
    const auto hurry = [job] {
        if (const auto running = job.lock()) {
            running->previewShown_.release();
        }
    };
    if (KanvoTiledOpen::needsTiles(file)) {
        makeRoom(KanvoTiledOpen::expectedBytes(file));
        const auto show = [&](const KanvoDecodedPixels& overview, bool whole) {
            const KanvoImage preview =
                KanvoImage::preview(overview, file.uprightSize(), full_, hurry);
            if (whole) {
                showFirst(preview);
            } else {
                showArriving(preview);
            }
        };
        return finish(KanvoTiledOpen::open(file, previewCovers_.isValid()
                                                     ? KanvoTiledOpen::OverviewHandler(show)
                                                     : KanvoTiledOpen::OverviewHandler()));
    }
    makeRoom(expectedBytes(file.uprightSize()));
    const int reduction = previewCovers_.isValid() ? file.reductionCovering(previewCovers_) : 1;
    if (reduction > 1) {
        showFirst(KanvoImage::preview(file.decode(reduction), file.uprightSize(), full_, hurry));
    }
    KanvoDecodedPixels decoded = file.decode();
    if (reduction == 1 && previewCovers_.isValid()) {
        // Without a reduced decode (a PNG), the full pixels go on screen
        // before their halvings are made: the fitted view needs none.
        showFirst(KanvoImage::preview(decoded, file.uprightSize(), full_, hurry));
    }
    return finish(KanvoImage::withRepresentations(std::move(decoded)));
}

// Hands the full image to everyone waiting.
KanvoImage KanvoDecodeJob::finish(KanvoImage full) {
    prepareFittedRendition(full);
    fullPromise_.set_value(full);
    publish(full, false);
    return full;
}
