#include "CanvasFixtures.h"
#include "kit/KanvoColors.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

// A 420 x 328 image fits the 1000 x 800 canvas's rectangle exactly, so at
// zoom 1 the layer covers Qt pixels x 80..919, y 72..727.
namespace {

const QColor imageColor(40, 160, 60);

bool near(QColor actual, QColor expected) {
    return std::abs(actual.red() - expected.red()) <= 2 &&
           std::abs(actual.green() - expected.green()) <= 2 &&
           std::abs(actual.blue() - expected.blue()) <= 2;
}

QColor blend(QColor top, double alpha, QColor bottom) {
    auto mix = [&](int t, int b) {
        return qRound(t * alpha + b * (1.0 - alpha));
    };
    return QColor(mix(top.red(), bottom.red()), mix(top.green(), bottom.green()),
                  mix(top.blue(), bottom.blue()));
}

// The tile repeats from the widget's origin; its dark squares are y-up's
// lower left and upper right.
QColor checkerAt(QPoint p) {
    return ((p.x() % 20) < 10) != ((p.y() % 20) < 10) ? QColor(224, 224, 224) : Qt::white;
}

// Columns holding text-dark pixels in rows top..bottom, or {-1, -1}.
std::pair<int, int> inkColumns(const QImage& image, int top, int bottom) {
    std::pair<int, int> span{-1, -1};
    for (int y = top; y <= bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 170) {
                span = {span.first < 0 ? x : std::min(span.first, x), std::max(span.second, x)};
            }
        }
    }
    return span;
}

#define QVERIFY_PIXEL(image, point, color)                                                         \
    QVERIFY2(near((image).pixelColor(point), color),                                               \
             qPrintable(QString("pixel %1,%2").arg((point).x()).arg((point).y())))

} // namespace

class KanvoCanvasRenderingTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString imagePath_;

private slots:
    void initTestCase() {
        imagePath_ = writePpm(QDir(dir_.path()), "green.ppm", QSize(420, 328), imageColor);
    }

    void emptyStateShowsCentredText_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("text");
        auto row = [](const char* state, const char* text) {
            QTest::newRow(state) << QString(state) << QString(text);
        };
        row("no-session", "Drop an image here");
        row("decoding", "Opening green.ppm...");
        row("decode-failed", "Could not decode image");
        row("hidden-layer", "Drop an image here");
    }
    void emptyStateShowsCentredText() {
        QFETCH(QString, state);
        QFETCH(QString, text);
        CanvasFixture f;
        if (state == "no-session") {
            f.canvas->setSession(nullptr);
        } else if (state == "decoding") { // grabbed before the pixels can be delivered
            QVERIFY(f.canvas->openImageURL(fileUrl(imagePath_)));
        } else if (state == "decode-failed") {
            QVERIFY(f.canvas->openImageURL(fileUrl(writeCorruptPng(dir_.path(), "bad.png"))));
            QTRY_COMPARE(f.canvas->statusText(), QString("Could not decode image"));
        } else if (state == "hidden-layer") {
            QVERIFY(openAndDecode(*f.canvas, imagePath_));
            f.session.setLayerVisible(f.session.document()->active_layer_id, false);
        }
        const QImage image = f.canvas->grab().toImage();
        QVERIFY_PIXEL(image, QPoint(10, 10), KanvoColors::canvasBackground());
        for (const QPoint p : {QPoint(85, 80), QPoint(95, 80), QPoint(915, 720)}) {
            QVERIFY_PIXEL(image, p, checkerAt(p));
        }
        // The line box sits on the middle row 400, centred on the width.
        QFont font = QGuiApplication::font();
        font.setPixelSize(18);
        font.setWeight(QFont::DemiBold);
        const double half = QFontMetricsF(font).horizontalAdvance(text) / 2;
        const auto [left, right] = inkColumns(image, 370, 402);
        QVERIFY2(std::abs(left - (500 - half)) <= 4 && std::abs(right - (500 + half)) <= 4,
                 qPrintable(QString("ink %1..%2 for %3").arg(left).arg(right).arg(text)));
        // Every text has a descender, which reaches down to the line box's bottom.
        QVERIFY(inkColumns(image, 398, 399).first >= 0);
        QCOMPARE(inkColumns(image, 330, 365).first + inkColumns(image, 401, 440).first, -2);
    }

    void imageStateDrawsLayerFrameTagCropAndGuides() {
        CanvasFixture f;
        QVERIFY(openAndDecode(*f.canvas, imagePath_));
        f.session.setLayerOpacity(f.session.document()->active_layer_id, 0.5);
        f.session.setCropBounds(200, 300, 100, 50); // Qt columns 200..300, rows 450..500
        // A layer as large as the document sits on both centres, so a move by
        // nothing finds a vertical guide at document x 210: view x 80 + 210.
        f.session.moveActiveLayer(0, 0);
        const QImage image = f.canvas->grab().toImage();

        auto layerAt = [](QPoint p) {
            return blend(imageColor, 0.5, checkerAt(p));
        };
        for (const QPoint p : {QPoint(400, 600), QPoint(410, 600), QPoint(197, 460)}) {
            QVERIFY_PIXEL(image, p, layerAt(p));
        }
        // The frame and the tag stay opaque; the frame is the band just outside.
        for (const QPoint p : {QPoint(78, 400), QPoint(79, 400), QPoint(920, 400), QPoint(500, 70),
                               QPoint(500, 729), QPoint(82, 52)}) {
            QVERIFY_PIXEL(image, p, KanvoColors::accent());
        }
        QVERIFY_PIXEL(image, QPoint(77, 400), KanvoColors::canvasBackground());
        QVERIFY_PIXEL(image, QPoint(82, 66), KanvoColors::canvasBackground());
        int whiteInTag = 0;
        for (int i = 0; i < 50 * 20; ++i) {
            whiteInTag += near(image.pixelColor(89 + i % 50, 42 + i / 50), Qt::white);
        }
        QVERIFY(whiteInTag > 10);

        for (const QPoint p : {QPoint(250, 475), QPoint(198, 460), QPoint(301, 460)}) {
            QVERIFY_PIXEL(image, p, blend(Qt::black, 0.35, layerAt(p)));
        }
        for (const QPoint p : {QPoint(199, 475), QPoint(200, 475), QPoint(300, 475),
                               QPoint(250, 449), QPoint(250, 450)}) {
            QVERIFY_PIXEL(image, p, Qt::white);
        }

        auto guideStrength = [](const QImage& shot) {
            int strongest = 0;
            for (int x = 287; x <= 292; ++x) {
                const QColor c = shot.pixelColor(x, 600);
                strongest = std::max(strongest, c.red() - c.green());
            }
            return strongest;
        };
        QVERIFY(guideStrength(image) > 100);
        QTest::mouseRelease(f.canvas, Qt::LeftButton, {}, QPoint(500, 400));
        QVERIFY(guideStrength(f.canvas->grab().toImage()) < 10);
    }
};

QTEST_MAIN(KanvoCanvasRenderingTest)
#include "KanvoCanvasRenderingTest.moc"
