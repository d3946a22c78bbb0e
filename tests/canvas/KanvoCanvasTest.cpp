#include "DecodePoolBlocker.h"
#include "canvas/KanvoCanvasLayout.h"
#include "canvas/KanvoCanvasView.h"
#include "canvas/KanvoImageFit.h"
#include "kit/KanvoColors.h"
#include "kit/KanvoNotifications.h"

#include <QImageReader>
#include <QtTest>
#include <filesystem>

using namespace std::chrono_literals;
using QTest::newRow;

namespace {

// Only a translucent colour adds alpha. 420 x 328 fills Qt pixels x 80..919, y 72..727 exactly.
QString writeImage(const QString& path, QColor color, QSize size = {420, 328}) {
    QImage image(size, color.alpha() < 255 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image.fill(color);
    return image.save(path) ? path : QString();
}

struct Canvas {
    kanvo::ui::DocumentSession session;
    KanvoCanvasView view{QRectF(0, 0, 1000, 800), nullptr};
    Canvas() { view.setSession(&session); }
    bool open(const QString& path) { return view.openImageURL(QUrl::fromLocalFile(path)); }
    bool openAndDecode(const QString& path) {
        return open(path) && QTest::qWaitFor([this] { return !view.image().isNull(); });
    }
};

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

// The empty state's text, or nothing when it is not centred with its line box's lower-left
// corner on the middle row 400 (every text here has a descender reaching the box's bottom).
QRect centredTextInk(QWidget& view) {
    const QRect ink = pixelsWhere(view.grab().toImage(), QRect(80, 300, 840, 150),
                                  [](QColor c) { return qGray(c.rgb()) < 170; });
    const bool placed = std::abs(ink.center().x() - 500) <= 2 && std::abs(ink.bottom() - 399) <= 1;
    return placed && ink.top() > 365 ? ink : QRect();
}

using Input = std::function<void(Canvas&)>;

QRect guideInk(const QImage& image) {
    return pixelsWhere(image, {280, 600, 20, 1},
                       [](QColor c) { return c.red() - c.green() > 100; });
}

Input drag(const char* tool, const QList<QPoint>& points, bool thenEscape = false) {
    return [=](Canvas& c) {
        c.session.selectTool(tool);
        QTest::mousePress(&c.view, Qt::LeftButton, {}, points.first());
        for (const QPoint& p : points.mid(1)) {
            QTest::mouseMove(&c.view, p);
        }
        QTest::mouseRelease(&c.view, Qt::LeftButton, {}, points.last());
        if (thenEscape) {
            QTest::keyClick(&c.view, Qt::Key_Escape);
        }
    };
}

// Pixel deltas as a trackpad sends them, angles in eighths of a degree as a mouse wheel does.
Input wheel(const char* tool, QPoint pixels, QPoint angle, Qt::KeyboardModifiers modifiers = {}) {
    return [=](Canvas& c) {
        c.session.selectTool(tool);
        QWheelEvent event({500, 400}, {500, 400}, pixels, angle, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&c.view, &event);
    };
}

} // namespace

Q_DECLARE_METATYPE(Input)

class KanvoCanvasTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString imagePath_ = writeImage(dir_.filePath("green.ppm"), QColor(40, 160, 60));

private slots:
    void initTestCase() { QThreadPool::globalInstance()->setMaxThreadCount(1); }

    void workedExamples_data() {
        QTest::addColumn<QVariant>("actual");
        QTest::addColumn<QVariant>("expected");
        auto row = [](const char* name, const auto& actual, const auto& expected) {
            newRow(name) << QVariant::fromValue(actual) << QVariant::fromValue(expected);
        };
        const QRectF canvas = KanvoImageFit::canvasRect({0, 0, 1000, 800});
        const QRectF wide(80, 190, 840, 420);
        row("wide-image-touches-the-sides", KanvoImageFit::rectFor({1200, 600}, canvas, 1, {}),
            wide);
        row("zoom-about-the-centre-offset-unscaled",
            KanvoImageFit::rectFor({1200, 600}, canvas, 2, {30, -20}),
            QRectF(-310, -40, 1680, 840));
        row("layer-moves-by-zoom-not-fit-scale", KanvoImageFit::layerRect(wide, 50, -10, 2),
            QRectF(180, 170, 840, 420));
        auto guide = [](const kanvo::ui::AlignGuide& guide, double zoom) {
            const KanvoGuideLine line = KanvoCanvasLayout::guideLine(guide, {80, 190}, zoom);
            return QList<QPointF>{line.from, line.to, line.labelAnchor};
        };
        row("vertical-guide-label-beside-its-end",
            guide({kanvo::ui::AlignGuideOrientation::Vertical, 100, 0, 400, "center"}, 0.5),
            QList<QPointF>{{130, 190}, {130, 390}, {136, 374}});
        row("horizontal-guide-label-past-its-end",
            guide({kanvo::ui::AlignGuideOrientation::Horizontal, 60, 10, 110, "center"}, 2),
            QList<QPointF>{{100, 310}, {300, 310}, {306, 314}});
        row("name-tag-text-inset", KanvoCanvasLayout::nameTagTextAnchor(wide), QPointF(89, 623));
    }
    void workedExamples() {
        QFETCH(QVariant, actual);
        QFETCH(QVariant, expected);
        QString shown;
        QDebug(&shown) << actual << "instead of" << expected;
        QVERIFY2(actual == expected, qPrintable(shown));
    }

    // Every row starts at zoom 2, where a move is scaled and a pan is not.
    void inputEditsTheSessionAndNotifiesPerStep_data() {
        QTest::addColumn<Input>("input");
        QTest::addColumn<QString>("after");
        const QList<QPoint> twoSteps{{500, 400}, {516, 416}, {532, 432}};
        const QList<QPoint> crop{{300, 600}, {600, 200}, {250, 540}};
        const Input pinch = [](Canvas& c) {
            QNativeGestureEvent event(Qt::ZoomNativeGesture,
                                      QPointingDevice::primaryPointingDevice(), 2, {}, {}, {}, 0.25,
                                      {});
            QApplication::sendEvent(&c.view, &event);
        };
        newRow("move-half-the-drag") << drag("move", twoSteps) << "layer 16,-16, 2";
        newRow("hand-pans-the-whole-drag") << drag("hand", twoSteps) << "pan 32,-32, 2";
        newRow("crop-from-press-to-current-point") << drag("crop", crop) << "crop 250,200 50x60, 2";
        newRow("escape-clears-the-crop") << drag("crop", crop, true) << "2";
        newRow("hand-scroll-pans-y-negated") << wheel("hand", {3, 5}, {36, 60}) << "pan 3,-5, 1";
        newRow("mouse-notch-pans-10-points") << wheel("hand", {}, {0, 120}) << "pan 0,-10, 1";
        newRow("zoom-tool-scroll-zooms-out") << wheel("zoom", {0, -2}, {0, -24}) << "zoom 1.84, 1";
        newRow("alt-zooms-any-tool-even-turned-horizontal")
            << wheel("move", {}, {120, 0}, Qt::AltModifier) << "zoom 2.16, 1";
        newRow("move-passes-the-scroll-on") << wheel("move", {3, 5}, {36, 60}) << "0";
        newRow("pinch-zooms") << pinch << "zoom 2.5, 1";
    }
    void inputEditsTheSessionAndNotifiesPerStep() {
        QFETCH(Input, input);
        QFETCH(QString, after);
        Canvas c;
        QVERIFY(c.open(imagePath_));
        c.session.zoomViewport(2);
        QSignalSpy notified(KanvoNotifications::defaultCenter(),
                            &KanvoNotifications::viewportChanged);
        input(c);
        // What moved away from the opened state, then how many notifications were posted.
        const kanvo::ui::Document& d = *c.session.document();
        const kanvo::ui::CropBounds& k = d.crop;
        QString state = QString::asprintf("zoom %g, pan %g,%g, layer %g,%g, crop %g,%g %gx%g, %d",
                                          d.viewport.zoom, d.viewport.offset_x, d.viewport.offset_y,
                                          c.session.activeLayer()->x, c.session.activeLayer()->y,
                                          k.x, k.y, k.width, k.height, int(notified.count()));
        QCOMPARE(state.remove(QRegularExpression("(zoom 2|pan 0,0|layer 0,0|crop 0,0 0x0), ")),
                 after);
    }

    void drawsStatusLayerFrameTagCropAndGuides() {
        Canvas c;
        QVERIFY(c.open(imagePath_));
        const QRect opening = centredTextInk(c.view); // before the pixels arrive
        QVERIFY(!opening.isEmpty());
        QTRY_VERIFY(!c.view.image().isNull());
        const int layer = c.session.document()->active_layer_id;
        c.session.setLayerOpacity(layer, 0.5);
        c.session.setCropBounds(200, 300, 100, 50); // Qt columns 200..300, rows 450..500
        // A layer as large as the document sits on both centres, so a move by
        // nothing finds a vertical guide at document x 210: view x 80 + 210.
        c.session.moveActiveLayer(0, 0);
        const QImage image = c.view.grab().toImage();
        // Half the image over light and dark squares; a 2-point frame just outside the layer; the
        // name tag 8 points above it; 35 % black reaching 2 points past the crop's white outline.
        auto expect = [&](QColor colour, const QList<QPoint>& points) {
            for (const QPoint p : points) {
                const QColor a = image.pixelColor(p);
                QVERIFY2(std::max({std::abs(a.red() - colour.red()),
                                   std::abs(a.green() - colour.green()),
                                   std::abs(a.blue() - colour.blue())}) <= 2,
                         qPrintable(QString("%1 at %2,%3").arg(a.name()).arg(p.x()).arg(p.y())));
            }
        };
        expect(QColor(148, 208, 158), {{400, 600}});
        expect(QColor(132, 192, 142), {{410, 600}});
        expect(KanvoColors::canvasBackground(), {{77, 400}, {82, 66}});
        expect(KanvoColors::accent(), {{78, 400}, {79, 400}, {82, 52}});
        expect(QColor(96, 135, 102), {{250, 475}});
        expect(QColor(86, 125, 92), {{198, 460}});
        expect(Qt::white, {{200, 475}});
        // Guides belong to the drag that found them.
        QCOMPARE(guideInk(image), QRect(289, 600, 2, 1));
        QTest::mouseRelease(&c.view, Qt::LeftButton, {}, QPoint(500, 400));
        QCOMPARE(guideInk(c.view.grab().toImage()), QRect());

        c.session.setLayerVisible(layer, false);
        const QRect hint = centredTextInk(c.view);
        QVERIFY(!hint.isEmpty() && hint != opening);
        const QString bad = writeImage(dir_.filePath("bad.png"), Qt::red);
        QVERIFY(QFile::resize(bad, 40)); // the header survives, the pixels do not
        QVERIFY(c.open(bad));
        QTRY_COMPARE(c.view.statusText(), QString("Could not decode image"));
    }

    // The older open's pixels arrive last and must not replace the newer's.
    void latestOpenWinsOverALaterStaleDecode() {
        const QString a = writeImage(dir_.filePath("a.ppm"), Qt::red);
        const QString b = writeImage(dir_.filePath("b.ppm"), Qt::green);
        Canvas c;
        // B, cached, completes at once while the blocked pool holds A back.
        QVERIFY(c.openAndDecode(b));
        {
            DecodePoolBlocker blocker;
            QVERIFY(c.open(a));
            QVERIFY(c.open(b));
            QTRY_VERIFY(!c.view.image().isNull());
        }
        // The blocker's end waited for A's decode; deliver its completion now.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(c.view.image().pixelColor(0, 0), QColor(Qt::green));
    }

    void reopenIsServedFromTheCacheAsynchronously() {
        const QString path = writeImage(dir_.filePath("cached@2x.png"), QColor(255, 0, 0, 128));
        Canvas c;
        QVERIFY(c.openAndDecode(path));
        DecodePoolBlocker blocker; // only a cache hit can complete
        QVERIFY(c.open(path));
        QVERIFY(c.view.image().isNull()); // never completed inside the call
        QTRY_VERIFY(!c.view.image().isNull());
        QCOMPARE(c.view.image().deviceIndependentSize(), QSizeF(420, 328)); // despite "@2x"
    }

    void rewrittenFileIsDecodedAfresh() {
        const QString path = writeImage(dir_.filePath("rewritten.ppm"), Qt::red);
        Canvas c;
        QVERIFY(c.openAndDecode(path));
        // Same size, so only the modification time tells the versions apart.
        writeImage(path, Qt::blue);
        const std::filesystem::path file(path.toStdString());
        std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + 5s);
        QVERIFY(c.openAndDecode(path));
        QCOMPARE(c.view.image().pixelColor(0, 0), QColor(Qt::blue));
    }

    // JPEG for "jpg" and "jpeg" in any case, PNG for the rest. The file is replaced whole or,
    // when the encoder fails (JPEG stops at 65500 pixels wide), left as it was.
    void exportReplacesTheFileInTheExtensionsFormat_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("format");
        newRow("jpeg-mixed-case") << "out.JpEg" << 420 << QByteArray("jpeg");
        newRow("bmp-gets-png") << "out.bmp" << 420 << QByteArray("png");
        newRow("encoder-failure-keeps-old-file") << "wide.jpg" << 70000 << QByteArray("jpeg");
    }
    void exportReplacesTheFileInTheExtensionsFormat() {
        QFETCH(QString, name);
        QFETCH(int, width);
        QFETCH(QByteArray, format);
        Canvas c;
        QVERIFY(c.openAndDecode(writeImage(dir_.filePath(name + ".png"), Qt::red, {width, 1})));
        c.session.setLayerOpacity(c.session.document()->active_layer_id, 0.2); // no effect
        const QString path = writeImage(dir_.filePath(name), Qt::blue, {8, 8});
        const bool written = width < 65500;
        QCOMPARE(c.view.exportImageURL(QUrl::fromLocalFile(path)), written);
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), format);
        QVERIFY(std::abs(reader.read().pixelColor(0, 0).red() - (written ? 255 : 0)) <= 3);
    }
};

QTEST_MAIN(KanvoCanvasTest)
#include "KanvoCanvasTest.moc"
