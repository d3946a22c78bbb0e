#include "canvas/KanvoCanvasView.h"

#include "canvas/KanvoCanvasDrawing.h"
#include "canvas/KanvoCanvasTools.h"
#include "canvas/KanvoImageFit.h"
#include "imaging/KanvoImageDecodeService.h"
#include "imaging/KanvoImageExport.h"
#include "imaging/KanvoTiledSource.h"
#include "kanvo/ui/image_inspection.h"
#include "kit/KanvoFrame.h"
#include "kit/KanvoNotifications.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPointer>
#include <QWheelEvent>
#include <climits>
#include <filesystem>

namespace {

// Trackpads report exact points; a mouse wheel reports eighths of a degree,
// 120 to a notch, and a notch scrolls 10 points.
QPointF scrollingDelta(const QWheelEvent& event) {
    if (!event.pixelDelta().isNull()) {
        return QPointF(event.pixelDelta());
    }
    return QPointF(event.angleDelta()) / 12.0;
}

bool zoomModifierHeld(const QWheelEvent& event) {
    return event.modifiers().testFlag(Qt::AltModifier);
}

// Some window systems turn a vertical wheel into a horizontal one while Alt
// is held; the zoom direction must still follow the wheel.
QPointF zoomScrollDelta(const QWheelEvent& event) {
    const QPointF delta = scrollingDelta(event);
    if (delta.y() == 0.0 && delta.x() != 0.0) {
        return {0.0, delta.x()};
    }
    return delta;
}

} // namespace

KanvoCanvasView::KanvoCanvasView(const QRectF& frame, QWidget* parent) : QWidget(parent) {
    KanvoFrame::place(this, frame);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(
        KanvoNotifications::defaultCenter(), &KanvoNotifications::documentSessionChanged, this,
        [this] { update(); }, Qt::DirectConnection);
}

void KanvoCanvasView::setSession(kanvo::ui::DocumentSession* session) {
    session_ = session;
    update();
}

bool KanvoCanvasView::hasDocument() const {
    return session_ != nullptr && session_->document() != nullptr;
}

QPointF KanvoCanvasView::viewPoint(QPointF qtPoint) const {
    return KanvoFrame::fromQt(qtPoint, height());
}

bool KanvoCanvasView::openImageURL(const QUrl& url) {
    if (url.isEmpty() || session_ == nullptr) {
        return false;
    }
    try {
        session_->openImage(std::filesystem::path(url.toLocalFile().toStdU16String()));
    } catch (...) {
        return false;
    }
    image_ = KanvoImage();
    imageName_ = url.fileName();
    statusText_ = QStringLiteral("Opening %1...").arg(imageName_);
    const std::uint64_t generation = ++decodeGeneration_;
    const QSize previewCovers =
        fittedDevicePixels(session_->document()->canvas, size(), devicePixelRatioF());
    const QPointer<KanvoCanvasView> canvas(this);
    KanvoImageDecodeService::shared().decodeURL(
        url,
        [canvas, generation](const KanvoImage& image) {
            if (canvas) {
                canvas->finishDecode(generation, image);
            }
        },
        previewCovers,
        [canvas, generation](const KanvoImage& full) {
            if (canvas) {
                canvas->sharpen(generation, full);
            }
        });
    emit KanvoNotifications::defaultCenter()->documentSessionChanged(this);
    return true;
}

void KanvoCanvasView::finishDecode(std::uint64_t generation, const KanvoImage& image) {
    if (generation != decodeGeneration_) {
        return;
    }
    if (image.isNull()) {
        statusText_ = QStringLiteral("Could not decode image");
        update();
        return;
    }
    show(image);
    statusText_.clear();
    // Drawn before returning: the request update() posts waits behind every
    // other event, and the full decode that follows a preview starts as
    // soon as this returns, taking the cores from the paint.
    repaint();
    emit KanvoNotifications::defaultCenter()->documentSessionChanged(this);
}

// The preview's pixels are swapped for the full image's without a word to
// the panels: the document and the image's size stay as they were.
void KanvoCanvasView::sharpen(std::uint64_t generation, const KanvoImage& full) {
    if (generation != decodeGeneration_ || !image_.isPreview()) {
        return;
    }
    show(full);
    if (full.isNull()) {
        statusText_ = QStringLiteral("Could not decode image");
    }
    update();
}

void KanvoCanvasView::show(const KanvoImage& image) {
    image_ = image;
    if (KanvoTiledSource* tiles = image_.tiles()) {
        tiles->setArrivalHandler([canvas = QPointer<KanvoCanvasView>(this)] {
            if (canvas) {
                canvas->update();
            }
        });
    }
}

bool KanvoCanvasView::exportImageURL(const QUrl& url) {
    if (url.isEmpty() || image_.isNull()) {
        return false;
    }
    return KanvoImageExport::write(image_.fullImage(), url.toLocalFile());
}

QSize KanvoCanvasView::fittedDevicePixels(const kanvo::ui::Canvas& header, QSizeF viewSize,
                                          qreal devicePixelRatio) {
    // A header beyond int cannot be decoded anyway: no preview is asked for.
    if (header.width > INT_MAX || header.height > INT_MAX) {
        return {};
    }
    const QRectF fitted =
        KanvoImageFit::rectFor(QSizeF(qreal(header.width), qreal(header.height)),
                               KanvoImageFit::canvasRect(QRectF(QPointF(), viewSize)), 1.0, {});
    return (fitted.size() * devicePixelRatio).toSize().expandedTo({1, 1});
}

void KanvoCanvasView::startDecoding(const QUrl& url, QSizeF viewSize, qreal devicePixelRatio) {
    kanvo::ui::ImageInfo header;
    try {
        header =
            kanvo::ui::inspectImageFile(std::filesystem::path(url.toLocalFile().toStdU16String()));
    } catch (...) {
        return;
    }
    KanvoImageDecodeService::shared().prefetch(
        url, fittedDevicePixels({header.width, header.height}, viewSize, devicePixelRatio));
}

void KanvoCanvasView::fitToScreen() {
    if (session_ == nullptr) {
        return;
    }
    session_->fitViewport();
    viewportEdited();
}

void KanvoCanvasView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    KanvoCanvasDrawing::drawIn(painter, QRectF(0, 0, width(), height()), image_,
                               session_ ? session_->activeLayer() : nullptr,
                               session_ ? session_->document() : nullptr, statusText_);
}

void KanvoCanvasView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    lastDragPoint_ = viewPoint(event->position());
    cropStartPoint_ = lastDragPoint_;
}

void KanvoCanvasView::mouseMoveEvent(QMouseEvent* event) {
    if (!event->buttons().testFlag(Qt::LeftButton) || !hasDocument()) {
        return;
    }
    const KanvoCanvasTool& tool = KanvoCanvasTools::forId(session_->selectedToolId());
    if (tool.drag == nullptr) {
        return;
    }
    const QPointF point = viewPoint(event->position());
    tool.drag(*session_, {point, point - lastDragPoint_, cropStartPoint_});
    lastDragPoint_ = point;
    viewportEdited();
}

void KanvoCanvasView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (session_ == nullptr) {
        return;
    }
    // Guides belong to the drag that found them.
    session_->clearAlignGuides();
    update();
}

void KanvoCanvasView::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || session_ == nullptr) {
        QWidget::keyPressEvent(event);
        return;
    }
    session_->clearCropBounds();
    update();
}

void KanvoCanvasView::wheelEvent(QWheelEvent* event) {
    if (!hasDocument()) {
        event->accept();
        return;
    }
    const bool zoomHeld = zoomModifierHeld(*event);
    const KanvoCanvasTool& tool =
        zoomHeld ? KanvoCanvasTools::zoom() : KanvoCanvasTools::forId(session_->selectedToolId());
    if (tool.scroll == nullptr) {
        QWidget::wheelEvent(event);
        return;
    }
    tool.scroll(*session_, zoomHeld ? zoomScrollDelta(*event) : scrollingDelta(*event));
    event->accept();
    viewportEdited();
}

bool KanvoCanvasView::event(QEvent* event) {
    if (event->type() == QEvent::NativeGesture) {
        const auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture && hasDocument()) {
            pinch(gesture->value());
            return true;
        }
    }
    return QWidget::event(event);
}

void KanvoCanvasView::pinch(double magnification) {
    session_->zoomViewport(1.0 + magnification);
    viewportEdited();
}

// Every pan, zoom, crop and move redraws and tells the top bar.
void KanvoCanvasView::viewportEdited() {
    update();
    emit KanvoNotifications::defaultCenter()->viewportChanged(this);
}
