#include "canvas/KanvoCanvasLayout.h"
#include "canvas/KanvoImageFit.h"

#include <QtTest>

using kanvo::ui::AlignGuide;
using kanvo::ui::AlignGuideOrientation;
using kanvo::ui::CropBounds;

namespace {

const QRectF bounds(0, 0, 1000, 800);
const QRectF canvasRect(80, 72, 840, 656);
const QRectF wideImageRect(80, 190, 840, 420);

QRectF fit(QSizeF image, double zoom, QPointF offset = {}) {
    return KanvoImageFit::rectFor(image, canvasRect, zoom, offset);
}

KanvoGuideLine guide(AlignGuideOrientation orientation, double position, double start, double end,
                     double zoom) {
    return KanvoCanvasLayout::guideLine({orientation, position, start, end, "center"},
                                        QPointF(80, 190), zoom);
}

} // namespace

class KanvoCanvasGeometryTest : public QObject {
    Q_OBJECT
private slots:
    void workedExamples_data() {
        QTest::addColumn<QVariant>("actual");
        QTest::addColumn<QVariant>("expected");
        auto row = [](const char* name, const auto& actual, const auto& expected) {
            QTest::newRow(name) << QVariant::fromValue(actual) << QVariant::fromValue(expected);
        };
        row("canvas-rect-insets-80-and-72", KanvoImageFit::canvasRect(bounds), canvasRect);
        row("wide-image-touches-left-and-right", fit({1200, 600}, 1), wideImageRect);
        row("zoom-scales-about-the-centre", fit({1200, 600}, 2), QRectF(-340, -20, 1680, 840));
        row("offset-added-unscaled", fit({1200, 600}, 1, {30, -20}), QRectF(110, 170, 840, 420));
        row("tall-image-touches-top-and-bottom", fit({300, 600}, 1), QRectF(336, 72, 328, 656));
        row("layer-moves-by-zoom-only", KanvoImageFit::layerRect(fit({1200, 600}, 2), 50, -10, 2),
            QRectF(-240, -40, 1680, 840));
        row("frame-path-grown-by-one", KanvoCanvasLayout::layerFrameRect(wideImageRect),
            QRectF(79, 189, 842, 422));

        const KanvoGuideLine vertical = guide(AlignGuideOrientation::Vertical, 100, 0, 400, 0.5);
        row("vertical-guide-from", vertical.from, QPointF(130, 190));
        row("vertical-guide-to", vertical.to, QPointF(130, 390));
        row("vertical-guide-label-right-of-end", vertical.labelAnchor, QPointF(136, 374));
        const KanvoGuideLine horizontal = guide(AlignGuideOrientation::Horizontal, 60, 10, 110, 2);
        row("horizontal-guide-from", horizontal.from, QPointF(100, 310));
        row("horizontal-guide-to", horizontal.to, QPointF(300, 310));
        row("horizontal-guide-label-past-end", horizontal.labelAnchor, QPointF(306, 314));

        const CropBounds crop{200, 300, 100, 50, true};
        row("crop-fill-grown-by-two", KanvoCanvasLayout::cropFillRect(crop),
            QRectF(198, 298, 104, 54));
        row("crop-outline-as-stored", KanvoCanvasLayout::cropOutlineRect(crop),
            QRectF(200, 300, 100, 50));

        row("name-tag-8-above-the-top-left", KanvoCanvasLayout::nameTagRect(wideImageRect, 40),
            QRectF(80, 618, 58, 24));
        row("name-tag-text-inset", KanvoCanvasLayout::nameTagTextAnchor(wideImageRect),
            QPointF(89, 623));
        row("empty-state-centred-above-middle", KanvoCanvasLayout::emptyStateAnchor(bounds, 200),
            QPointF(400, 400));
    }
    void workedExamples() {
        QFETCH(QVariant, actual);
        QFETCH(QVariant, expected);
        QCOMPARE(actual, expected);
    }

    void imageCentreFollowsOffsetAtEveryZoom() {
        const QPointF offset(-35.5, 12.25);
        for (const double zoom : {0.05, 0.5, 1.0, 1.08, 3.0, 16.0}) {
            for (const QSizeF image : {QSizeF(1200, 600), QSizeF(300, 600), QSizeF(1, 1)}) {
                const QPointF centre = fit(image, zoom, offset).center();
                QCOMPARE(centre, canvasRect.center() + offset);
            }
        }
    }
};

QTEST_APPLESS_MAIN(KanvoCanvasGeometryTest)
#include "KanvoCanvasGeometryTest.moc"
