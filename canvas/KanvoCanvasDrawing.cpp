#include "canvas/KanvoCanvasDrawing.h"

#include "canvas/KanvoCanvasLayout.h"
#include "canvas/KanvoCheckerboard.h"
#include "canvas/KanvoImageFit.h"
#include "imaging/KanvoTiledSource.h"
#include "kit/KanvoColors.h"
#include "kit/KanvoFrame.h"
#include "kit/KanvoLabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace {

const QString emptyStateHint = QStringLiteral("Drop an image here");

// Tiles of a level of `levelSize` pixels, drawn into `target` (the whole
// image's place). Each tile carries a pixel of its neighbours on every side
// and is drawn whole, clipped to its own device pixels, so smooth scaling
// across a tile edge reads the same pixels as drawing the level in one piece
// would. Where a tile ends with the image, the clip reaches past it, leaving
// the image's own edge as it is.
void drawTiles(QPainter& painter, const QRectF& target, QSize levelSize,
               const QList<KanvoDisplayTiles::Tile>& tiles, double ratio) {
    const QSize level = levelSize;
    const double scaleX = target.width() / level.width();
    const double scaleY = target.height() / level.height();
    const auto placed = [&](const QRect& area) {
        return QRectF(target.x() + area.x() * scaleX, target.y() + area.y() * scaleY,
                      area.width() * scaleX, area.height() * scaleY);
    };
    const auto snapped = [ratio](double edge) {
        return std::round(edge * ratio) / ratio;
    };
    const auto clipFor = [&](const QRect& inner) {
        const QRectF place = placed(inner);
        const double beyond = 2.0 / ratio;
        return QRectF(QPointF(inner.left() == 0 ? place.left() - beyond : snapped(place.left()),
                              inner.top() == 0 ? place.top() - beyond : snapped(place.top())),
                      QPointF(inner.right() == level.width() - 1 ? place.right() + beyond
                                                                 : snapped(place.right()),
                              inner.bottom() == level.height() - 1 ? place.bottom() + beyond
                                                                   : snapped(place.bottom())));
    };
    painter.save();
    for (const KanvoDisplayTiles::Tile& tile : tiles) {
        painter.setClipRect(clipFor(tile.inner));
        painter.drawImage(placed(tile.area), tile.pixels);
    }
    painter.restore();
}

// The part of a level of `levelSize` pixels that `visible` shows, when the
// whole level is drawn into `target`.
QRectF sourceArea(const QRectF& target, const QRectF& visible, QSize levelSize) {
    const double scaleX = levelSize.width() / target.width();
    const double scaleY = levelSize.height() / target.height();
    return {(visible.x() - target.x()) * scaleX, (visible.y() - target.y()) * scaleY,
            visible.width() * scaleX, visible.height() * scaleY};
}

// A shrunk image wholly inside the view is drawn pixel for pixel from an
// area-averaged rendition of its drawn size in device pixels, so fine detail does not
// alias. Otherwise only the part inside the view is drawn, sampled from the
// representation just above the drawn size, so a 100 MP photo costs about
// what the view's own pixels cost at every zoom. A preview is drawn the same
// way, enlarged to the full image's place.
void drawImage(QPainter& painter, const QRectF& target, const KanvoImage& image,
               const QRectF& view) {
    const double ratio = painter.device()->devicePixelRatioF();
    const QSize devicePixels = (target.size() * ratio).toSize();
    // A tiled image has no rendition finer than its overview.
    const bool finerThanHeld =
        image.tiles() != nullptr && image.tiles()->reductionFor(devicePixels) > 0;
    if (view.contains(target) && !devicePixels.isEmpty() &&
        devicePixels.width() < image.size().width() && !finerThanHeld) {
        // On whole device pixels the rendition is copied one to one; at the
        // fit's fractional origin every pixel would be resampled, for a
        // shift of less than half a pixel.
        const QPointF origin(std::round(target.x() * ratio) / ratio,
                             std::round(target.y() * ratio) / ratio);
        QImage rendition = image.renditionAt(devicePixels);
        rendition.setDevicePixelRatio(ratio);
        painter.drawImage(origin, rendition);
        return;
    }
    const QRectF visible = target.intersected(view);
    if (visible.isEmpty()) {
        return;
    }
    const qsizetype index = image.representationIndexFor(target.size() * ratio);
    const QImage& level = image.representations().at(index);
    const QRectF source = sourceArea(target, visible, level.size());
    if (image.convertsColours()) {
        drawTiles(painter, target, level.size(), image.displayTiles(index, source.toAlignedRect()),
                  ratio);
    } else {
        painter.drawImage(visible, level, source);
    }
    // A tiled image drawn larger than its overview: the finer level's tiles
    // go over the enlarged overview as they arrive.
    if (KanvoTiledSource* tiles = image.tiles()) {
        if (const int reduction = tiles->reductionFor(target.size() * ratio); reduction > 0) {
            const QSize finer = tiles->levelSize(reduction);
            drawTiles(
                painter, target, finer,
                tiles->covering(reduction, sourceArea(target, visible, finer).toAlignedRect()),
                ratio);
        }
    }
}

QColor guideColor() {
    return QColor::fromRgbF(1.0f, 0.0f, 0.56f, 0.92f);
}

QFont semibold(int pixelSize) {
    return KanvoLabel::font(pixelSize, QFont::DemiBold);
}

double textWidth(const QString& text, const QFont& font) {
    return QFontMetricsF(font).horizontalAdvance(text);
}

// anchor is the lower-left corner of the text's line box, so the baseline
// sits one descent above it.
void drawText(QPainter& painter, double viewHeight, QPointF anchor, const QString& text,
              const QFont& font, const QColor& color) {
    const QPointF baseline(anchor.x(), anchor.y() + QFontMetricsF(font).descent());
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(KanvoFrame::toQt(baseline, viewHeight), text);
}

void strokeRect(QPainter& painter, double viewHeight, const QRectF& rect, const QColor& color,
                double width) {
    painter.setPen(QPen(color, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(KanvoFrame::toQt(rect, viewHeight));
}

void drawEmptyState(QPainter& painter, const QRectF& bounds, double viewHeight,
                    const QString& status) {
    const QString text = status.isEmpty() ? emptyStateHint : status;
    const QFont font = semibold(18);
    const QPointF anchor = KanvoCanvasLayout::emptyStateAnchor(bounds, textWidth(text, font));
    drawText(painter, viewHeight, anchor, text, font, KanvoColors::muted());
}

void drawNameTag(QPainter& painter, double viewHeight, const QRectF& layerRect,
                 const QString& name) {
    const QFont font = semibold(12);
    const QRectF tag = KanvoCanvasLayout::nameTagRect(layerRect, textWidth(name, font));
    painter.setPen(Qt::NoPen);
    painter.setBrush(KanvoColors::accent());
    painter.drawRoundedRect(KanvoFrame::toQt(tag, viewHeight), 6.0, 6.0);
    drawText(painter, viewHeight, KanvoCanvasLayout::nameTagTextAnchor(layerRect), name, font,
             Qt::white);
}

void drawCrop(QPainter& painter, double viewHeight, const kanvo::ui::CropBounds& crop) {
    painter.fillRect(KanvoFrame::toQt(KanvoCanvasLayout::cropFillRect(crop), viewHeight),
                     KanvoColors::white(0.0, 0.35));
    strokeRect(painter, viewHeight, KanvoCanvasLayout::cropOutlineRect(crop), Qt::white, 2.0);
}

} // namespace

void KanvoCanvasDrawing::drawIn(QPainter& painter, const QRectF& bounds, const KanvoImage& image,
                                const kanvo::ui::Layer* layer, const kanvo::ui::Document* document,
                                const QString& status) {
    const double viewHeight = bounds.y() + bounds.height();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(KanvoFrame::toQt(bounds, viewHeight), KanvoColors::canvasBackground());
    const QRectF canvasRect = KanvoImageFit::canvasRect(bounds);
    KanvoCheckerboard::draw(painter, KanvoFrame::toQt(canvasRect, viewHeight));

    if (image.isNull() || layer == nullptr || !layer->visible) {
        drawEmptyState(painter, bounds, viewHeight, status);
        return;
    }

    const kanvo::ui::Viewport viewport = document ? document->viewport : kanvo::ui::Viewport{};
    const QRectF imageRect = KanvoImageFit::rectFor(QSizeF(image.size()), canvasRect, viewport.zoom,
                                                    QPointF(viewport.offset_x, viewport.offset_y));
    const QRectF layerRect = KanvoImageFit::layerRect(imageRect, layer->x, layer->y, viewport.zoom);

    painter.save();
    painter.setOpacity(layer->opacity);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    drawImage(painter, KanvoFrame::toQt(layerRect, viewHeight), image,
              KanvoFrame::toQt(bounds, viewHeight));
    painter.restore();

    strokeRect(painter, viewHeight, KanvoCanvasLayout::layerFrameRect(layerRect),
               KanvoColors::accent(), 2.0);

    if (document) {
        drawGuides(painter, viewHeight, document->align_guides, imageRect, viewport.zoom);
        if (document->crop.active) {
            drawCrop(painter, viewHeight, document->crop);
        }
    }
    drawNameTag(painter, viewHeight, layerRect, QString::fromStdString(layer->name));
}

void KanvoCanvasDrawing::drawGuides(QPainter& painter, double viewHeight,
                                    const std::vector<kanvo::ui::AlignGuide>& guides,
                                    const QRectF& canvasRect, double zoom) {
    if (guides.empty()) {
        return;
    }
    const QColor color = guideColor();
    const QFont labelFont = semibold(11);
    for (const kanvo::ui::AlignGuide& guide : guides) {
        const KanvoGuideLine line =
            KanvoCanvasLayout::guideLine(guide, QPointF(canvasRect.x(), canvasRect.y()), zoom);
        painter.setPen(QPen(color, 1.5));
        painter.drawLine(KanvoFrame::toQt(line.from, viewHeight),
                         KanvoFrame::toQt(line.to, viewHeight));
        if (!guide.label.empty()) {
            drawText(painter, viewHeight, line.labelAnchor, QString::fromStdString(guide.label),
                     labelFont, color);
        }
    }
}
