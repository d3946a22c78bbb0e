#include "CanvasFixtures.h"
#include "kit/KanvoColors.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTemporaryDir>

// A 420 x 328 image fits the 1000 x 800 canvas's rectangle exactly, so at
// zoom 1 the layer covers Qt pixels x 80..919, y 72..727.
namespace {

const QColor imageColor(40, 160, 60);

bool near(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())}) <= 2;
}

QColor blend(QColor top, double alpha, QColor bottom) {
    const double beta = 1.0 - alpha;
    return QColor::fromRgbF(top.redF() * alpha + bottom.redF() * beta,
                            top.greenF() * alpha + bottom.greenF() * beta,
                            top.blueF() * alpha + bottom.blueF() * beta);
}

// The tile repeats from the widget's origin; its dark squares are y-up's
// lower left and upper right.
QColor checkerAt(QPoint p) {
    return ((p.x() % 20) < 10) != ((p.y() % 20) < 10) ? QColor(224, 224, 224) : Qt::white;
}

// The half-transparent layer over the checkerboard.
QColor layerAt(QPoint p) {
    return blend(imageColor, 0.5, checkerAt(p));
}

// The smallest rectangle holding every pixel of the area that matches.
template <typename Match> QRect pixelsWhere(const QImage& image, QRect area, Match match) {
    QRect found;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (match(image.pixelColor(x, y))) {
                found |= QRect(x, y, 1, 1);
            }
        }
    }
    return found;
}

#define QVERIFY_PIXEL(image, point, color)                                                         \
    QVERIFY2(near((image).pixelColor(point), color),                                               \
             qPrintable(QString("pixel %1,%2").arg((point).x()).arg((point).y())))

} // namespace

class KanvoCanvasRenderingTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString imagePath_ = writeImage(dir_.path(), "green.ppm", imageColor, {420, 328});

private slots:
    void emptyStateShowsCentredText_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("decoding") << "Opening green.ppm...";
        QTest::newRow("decode-failed") << "Could not decode image";
        QTest::newRow("hidden-layer") << "Drop an image here";
    }
    void emptyStateShowsCentredText() {
        QFETCH(QString, text);
        const QString state = QTest::currentDataTag();
        CanvasFixture f;
        if (state == "decoding") { // grabbed before the pixels can be delivered
            QVERIFY(f.canvas->openImageURL(fileUrl(imagePath_)));
        } else if (state == "decode-failed") {
            const QString bad = writeImage(dir_.path(), "bad.png", Qt::red);
            QVERIFY(QFile::resize(bad, 40)); // the header survives, the pixels do not
            QVERIFY(f.canvas->openImageURL(fileUrl(bad)));
            QTRY_COMPARE(f.canvas->statusText(), QString("Could not decode image"));
        } else if (state == "hidden-layer") {
            QVERIFY(openAndDecode(*f.canvas, imagePath_));
            f.session.setLayerVisible(f.session.document()->active_layer_id, false);
        }
        // The line box's lower-left corner sits on the middle row 400, centred
        // on the width; every text has a descender, reaching the box's bottom.
        QFont font = QGuiApplication::font();
        font.setPixelSize(18);
        font.setWeight(QFont::DemiBold);
        const double half = QFontMetricsF(font).horizontalAdvance(text) / 2;
        const QRect ink = pixelsWhere(f.canvas->grab().toImage(), QRect(80, 300, 840, 150),
                                      [](QColor c) { return qGray(c.rgb()) < 170; });
        QVERIFY2(std::abs(ink.left() - (500 - half)) <= 4 &&
                     std::abs(ink.right() - (500 + half)) <= 4 && ink.top() > 365 &&
                     ink.bottom() >= 398 && ink.bottom() <= 400,
                 qPrintable(QTest::toString(ink)));
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
        QVERIFY(pixelsWhere(image, QRect(89, 42, 50, 20), // the layer's name
                            [](QColor c) { return near(c, Qt::white); })
                    .width() > 20);

        for (const QPoint p : {QPoint(250, 475), QPoint(198, 460), QPoint(301, 460)}) {
            QVERIFY_PIXEL(image, p, blend(Qt::black, 0.35, layerAt(p)));
        }
        for (const QPoint p : {QPoint(199, 475), QPoint(200, 475), QPoint(300, 475),
                               QPoint(250, 449), QPoint(250, 450)}) {
            QVERIFY_PIXEL(image, p, Qt::white);
        }

        auto guide = [](QColor c) {
            return c.red() - c.green() > 100;
        };
        const QRect guideBand(287, 600, 6, 1);
        QVERIFY(!pixelsWhere(image, guideBand, guide).isEmpty());
        QTest::mouseRelease(f.canvas, Qt::LeftButton, {}, QPoint(500, 400));
        QVERIFY(pixelsWhere(f.canvas->grab().toImage(), guideBand, guide).isEmpty());
    }
};

QTEST_MAIN(KanvoCanvasRenderingTest)
#include "KanvoCanvasRenderingTest.moc"
