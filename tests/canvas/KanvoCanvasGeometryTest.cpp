#include "canvas/KanvoCanvasLayout.h"
#include "canvas/KanvoImageFit.h"

#include <QtTest>

using kanvo::ui::AlignGuideOrientation;

class KanvoCanvasGeometryTest : public QObject {
    Q_OBJECT
private slots:
    void workedExamples_data() {
        QTest::addColumn<QVariant>("actual");
        QTest::addColumn<QVariant>("expected");
        auto row = [](const char* name, const auto& actual, const auto& expected) {
            QTest::newRow(name) << QVariant::fromValue(actual) << QVariant::fromValue(expected);
        };
        const QRectF canvas(80, 72, 840, 656);
        const QRectF wide(80, 190, 840, 420);
        auto fit = [&](QSizeF image, double zoom, QPointF offset) {
            return KanvoImageFit::rectFor(image, canvas, zoom, offset);
        };
        row("canvas-rect-insets-80-and-72", KanvoImageFit::canvasRect({0, 0, 1000, 800}), canvas);
        row("wide-image-touches-the-sides", fit({1200, 600}, 1, {}), wide);
        row("zoom-scales-about-the-centre", fit({1200, 600}, 2, {}), QRectF(-340, -20, 1680, 840));
        row("offset-is-not-scaled", fit({1200, 600}, 1, {30, -20}), QRectF(110, 170, 840, 420));
        row("tall-image-touches-top-and-bottom", fit({300, 600}, 1, {}), QRectF(336, 72, 328, 656));
        row("layer-moves-by-zoom-not-fit-scale",
            KanvoImageFit::layerRect(fit({1200, 600}, 2, {}), 50, -10, 2),
            QRectF(-240, -40, 1680, 840));

        const QPointF origin(80, 190);
        const auto vertical = KanvoCanvasLayout::guideLine(
            {AlignGuideOrientation::Vertical, 100, 0, 400, "center"}, origin, 0.5);
        row("vertical-guide", QLineF(vertical.from, vertical.to), QLineF(130, 190, 130, 390));
        row("vertical-label-beside-the-end", vertical.labelAnchor, QPointF(136, 374));
        const auto horizontal = KanvoCanvasLayout::guideLine(
            {AlignGuideOrientation::Horizontal, 60, 10, 110, "center"}, origin, 2);
        row("horizontal-guide", QLineF(horizontal.from, horizontal.to), QLineF(100, 310, 300, 310));
        row("horizontal-label-past-the-end", horizontal.labelAnchor, QPointF(306, 314));

        row("name-tag-text-inset", KanvoCanvasLayout::nameTagTextAnchor(wide), QPointF(89, 623));
    }
    void workedExamples() {
        QFETCH(QVariant, actual);
        QFETCH(QVariant, expected);
        QCOMPARE(actual, expected);
    }
};

QTEST_APPLESS_MAIN(KanvoCanvasGeometryTest)
#include "KanvoCanvasGeometryTest.moc"
