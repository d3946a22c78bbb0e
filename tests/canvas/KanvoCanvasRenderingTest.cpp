#include "CanvasFixtures.h"
#include "kit/KanvoColors.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

// The canvas is 1000 x 800; an image of 420 x 328 fits its canvas rectangle
// exactly at scale 2, so at zoom 1 the layer covers Qt pixels x 80..919 and
// y 72..727.
namespace {

const QColor imageColor(40, 160, 60);
const QColor light(255, 255, 255);
const QColor dark(224, 224, 224);

bool near(QColor actual, QColor expected, int tolerance = 2) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

QColor blend(QColor top, double alpha, QColor bottom) {
    auto mix = [&](int t, int b) {
        return qRound(t * alpha + b * (1.0 - alpha));
    };
    return QColor(mix(top.red(), bottom.red()), mix(top.green(), bottom.green()),
                  mix(top.blue(), bottom.blue()));
}

// Dark squares of the tile anchored at the widget's origin.
QColor checkerAt(int x, int y) {
    return ((x % 20) < 10) != ((y % 20) < 10) ? dark : light;
}

bool isInk(QColor c) {
    return c.red() < 170 && c.green() < 170 && c.blue() < 170;
}

// The horizontal extent of text-coloured pixels in a band of rows.
std::pair<int, int> inkColumns(const QImage& image, int top, int bottom) {
    int left = image.width(), right = -1;
    for (int y = top; y <= bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (isInk(image.pixelColor(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    return {left, right};
}

bool anyInk(const QImage& image, int top, int bottom) {
    return inkColumns(image, top, bottom).second >= 0;
}

double emptyStateTextWidth(const QString& text) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(18);
    font.setWeight(QFont::DemiBold);
    return QFontMetricsF(font).horizontalAdvance(text);
}

} // namespace

class KanvoCanvasRenderingTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString imagePath_;

    QImage render(KanvoCanvasView& canvas) { return canvas.grab().toImage(); }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        imagePath_ = writePpm(QDir(dir_.path()), "green.ppm", QSize(420, 328), imageColor);
    }

    void emptyStateText_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("text");
        QTest::newRow("no-session") << "no-session"
                                    << "Drop an image here";
        QTest::newRow("nothing-opened") << "nothing-opened"
                                        << "Drop an image here";
        QTest::newRow("decoding") << "decoding"
                                  << "Opening pending.ppm...";
        QTest::newRow("decode-failed") << "decode-failed"
                                       << "Could not decode image";
        QTest::newRow("hidden-layer") << "hidden-layer"
                                      << "Drop an image here";
    }
    void emptyStateText() {
        QFETCH(QString, setup);
        QFETCH(QString, text);
        CanvasFixture f;
        if (setup == "no-session") {
            f.canvas->setSession(nullptr);
        } else if (setup == "decoding") {
            // Rendered before the event loop can deliver the decoded pixels.
            QVERIFY(f.canvas->openImageURL(
                fileUrl(writePpm(QDir(dir_.path()), "pending.ppm", QSize(8, 8), imageColor))));
        } else if (setup == "decode-failed") {
            QVERIFY(
                f.canvas->openImageURL(fileUrl(writeCorruptPng(QDir(dir_.path()), "corrupt.png"))));
            QTRY_VERIFY(!f.canvas->statusText().startsWith("Opening"));
        } else if (setup == "hidden-layer") {
            QVERIFY(openAndDecode(*f.canvas, imagePath_));
            f.session.setLayerVisible(f.session.document()->active_layer_id, false);
        }

        const QImage image = render(*f.canvas);
        QVERIFY(near(image.pixelColor(10, 10), KanvoColors::canvasBackground()));
        for (const QPoint p : {QPoint(85, 80), QPoint(95, 80), QPoint(85, 90), QPoint(915, 720)}) {
            QVERIFY2(near(image.pixelColor(p), checkerAt(p.x(), p.y())),
                     qPrintable(QString("checkerboard at %1,%2").arg(p.x()).arg(p.y())));
        }
        QVERIFY(!near(image.pixelColor(500, 600), imageColor, 30));

        // The line box starts at the vertical centre (Qt row 400), so glyphs
        // sit just above it, centred on the whole width.
        const auto [left, right] = inkColumns(image, 370, 402);
        const double width = emptyStateTextWidth(text);
        QVERIFY2(std::abs(left - (500 - width / 2)) <= 4 &&
                     std::abs(right - (500 + width / 2)) <= 4,
                 qPrintable(QString("ink %1..%2, text width %3").arg(left).arg(right).arg(width)));
        QVERIFY(!anyInk(image, 330, 365));
        QVERIFY(!anyInk(image, 405, 440));
    }

    void imageStateLayers_data() {
        QTest::addColumn<double>("opacity");
        QTest::newRow("opaque") << 1.0;
        QTest::newRow("half-opacity-shows-checkerboard") << 0.5;
    }
    void imageStateLayers() {
        QFETCH(double, opacity);
        CanvasFixture f;
        QVERIFY(openAndDecode(*f.canvas, imagePath_));
        f.session.setLayerOpacity(f.session.document()->active_layer_id, opacity);
        const QImage image = render(*f.canvas);

        QVERIFY(near(image.pixelColor(10, 10), KanvoColors::canvasBackground()));
        for (const QPoint p : {QPoint(400, 400), QPoint(410, 400), QPoint(100, 90)}) {
            const QColor expected = blend(imageColor, opacity, checkerAt(p.x(), p.y()));
            QVERIFY2(near(image.pixelColor(p), expected),
                     qPrintable(QString("image at %1,%2").arg(p.x()).arg(p.y())));
        }
        // The 2-point frame lies just outside the layer and stays opaque.
        for (const QPoint p : {QPoint(78, 400), QPoint(79, 400), QPoint(921, 400), QPoint(500, 70),
                               QPoint(500, 729)}) {
            QVERIFY2(near(image.pixelColor(p), KanvoColors::accent()),
                     qPrintable(QString("frame at %1,%2").arg(p.x()).arg(p.y())));
        }
        QVERIFY(near(image.pixelColor(77, 400), KanvoColors::canvasBackground()));
        // Name tag: 8 points above the layer's top-left corner, 24 high, with
        // the name in white inside it.
        QVERIFY(near(image.pixelColor(82, 52), KanvoColors::accent()));
        QVERIFY(near(image.pixelColor(82, 66), KanvoColors::canvasBackground()));
        bool whiteText = false;
        for (int x = 89; x < 140 && !whiteText; ++x) {
            for (int y = 42; y < 62 && !whiteText; ++y) {
                whiteText = near(image.pixelColor(x, y), Qt::white, 20);
            }
        }
        QVERIFY(whiteText);
    }

    void cropDarkensInsideAWhiteOutline() {
        CanvasFixture f;
        QVERIFY(openAndDecode(*f.canvas, imagePath_));
        f.session.setCropBounds(200, 300, 100, 50); // Qt rows 450..499
        f.session.zoomViewport(1.5);                // the crop stays where it was drawn
        const QImage image = render(*f.canvas);
        const QColor darkened = blend(Qt::black, 0.35, imageColor);
        // Fill: Qt columns 198..301, rows 448..501; outline: 2 points centred
        // on the crop's edges at columns 200 and 300 and row 450.
        for (const QPoint p : {QPoint(250, 475), QPoint(198, 475), QPoint(201, 475),
                               QPoint(301, 475), QPoint(250, 448), QPoint(250, 501)}) {
            QVERIFY2(near(image.pixelColor(p), darkened),
                     qPrintable(QString("darkened at %1,%2").arg(p.x()).arg(p.y())));
        }
        for (const QPoint p : {QPoint(199, 475), QPoint(200, 475), QPoint(299, 475),
                               QPoint(300, 475), QPoint(250, 449), QPoint(250, 450)}) {
            QVERIFY2(near(image.pixelColor(p), Qt::white),
                     qPrintable(QString("outline at %1,%2").arg(p.x()).arg(p.y())));
        }
        for (const QPoint p :
             {QPoint(197, 475), QPoint(302, 475), QPoint(250, 447), QPoint(250, 502)}) {
            QVERIFY2(near(image.pixelColor(p), imageColor),
                     qPrintable(QString("untouched at %1,%2").arg(p.x()).arg(p.y())));
        }
    }

    void guidesDrawnWhileDraggingOnly() {
        CanvasFixture f;
        QVERIFY(openAndDecode(*f.canvas, imagePath_));
        // A layer as large as the document is centred on both axes, so a move
        // by nothing finds a vertical guide at document x 210, drawn at view
        // x 80 + 210 with the zoom of 1.
        f.session.moveActiveLayer(0, 0);
        QCOMPARE(f.session.document()->align_guides.size(), size_t(2));
        auto guideInk = [](const QImage& image) {
            int strongest = 0;
            for (int x = 288; x <= 292; ++x) {
                const QColor c = image.pixelColor(x, 600);
                strongest = std::max(strongest, c.red() - c.green());
            }
            return strongest;
        };
        QVERIFY(guideInk(render(*f.canvas)) > 120);
        QVERIFY(!near(render(*f.canvas).pixelColor(280, 600), QColor(255, 0, 143), 80));
        QTest::mouseRelease(f.canvas, Qt::LeftButton, {}, QPoint(500, 400));
        QVERIFY(guideInk(render(*f.canvas)) < 10);
    }
};

QTEST_MAIN(KanvoCanvasRenderingTest)
#include "KanvoCanvasRenderingTest.moc"
