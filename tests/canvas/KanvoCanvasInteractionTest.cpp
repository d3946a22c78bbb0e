#include "CanvasFixtures.h"
#include "kit/KanvoNotifications.h"

#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <optional>

using Points = QList<QPoint>;

class KanvoCanvasInteractionTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::optional<CanvasFixture> f_;
    std::optional<QSignalSpy> viewportSpy_;

    // Everything a gesture may change, in one line that a failure prints whole.
    QString state() {
        const kanvo::ui::Document& d = *f_->session.document();
        const kanvo::ui::CropBounds& c = d.crop;
        return QString::asprintf("zoom %g pan %g,%g layer %g,%g crop %g,%g %gx%g%s",
                                 d.viewport.zoom, d.viewport.offset_x, d.viewport.offset_y,
                                 f_->session.activeLayer()->x, f_->session.activeLayer()->y, c.x,
                                 c.y, c.width, c.height, c.active ? " active" : "");
    }

private slots:
    void init() {
        f_.emplace();
        QVERIFY(f_->canvas->openImageURL(
            fileUrl(writeImage(dir_.path(), "layer.png", Qt::gray, {420, 328}))));
        viewportSpy_.emplace(KanvoNotifications::defaultCenter(),
                             &KanvoNotifications::viewportChanged);
    }

    void dragActsPerTool_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<Points>("points");
        QTest::addColumn<QString>("after");
        const Points twoSteps{{500, 400}, {516, 416}, {532, 432}};
        QTest::newRow("move-half-the-drag-at-zoom-2")
            << "move" << 2.0 << twoSteps << "zoom 2 pan 0,0 layer 16,-16 crop 0,0 0x0";
        QTest::newRow("hand-pans-unscaled-at-zoom-4")
            << "hand" << 4.0 << Points{{300, 600}, {310, 602}, {315, 604}}
            << "zoom 4 pan 15,-4 layer 0,0 crop 0,0 0x0";
        QTest::newRow("crop-from-press-to-current-point")
            << "crop" << 1.0 << Points{{300, 600}, {600, 200}, {250, 540}}
            << "zoom 1 pan 0,0 layer 0,0 crop 250,200 50x60 active";
        QTest::newRow("manifest-tool-ignores-drags")
            << "brush" << 1.0 << twoSteps << "zoom 1 pan 0,0 layer 0,0 crop 0,0 0x0";
    }
    void dragActsPerTool() {
        QFETCH(QString, tool);
        QFETCH(double, zoom);
        QFETCH(Points, points);
        QFETCH(QString, after);
        f_->session.selectTool(tool.toStdString());
        f_->session.zoomViewport(zoom);
        QTest::mousePress(f_->canvas, Qt::LeftButton, {}, points.first());
        for (const QPoint& p : points.mid(1)) {
            QTest::mouseMove(f_->canvas, p);
        }
        // Release posts nothing and keeps the crop.
        QTest::mouseRelease(f_->canvas, Qt::LeftButton, {}, points.last());
        QCOMPARE(state(), after);
        const bool canvasTool = tool == "move" || tool == "hand" || tool == "crop";
        QCOMPARE(viewportSpy_->count(), canvasTool ? int(points.size()) - 1 : 0); // one per move
    }

    void escapeClearsCropOtherKeysGoToParent() {
        f_->session.setCropBounds(10, 10, 50, 50);
        QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
        QApplication::sendEvent(f_->canvas, &other);
        QVERIFY(!other.isAccepted());
        QTest::keyClick(f_->canvas, Qt::Key_Escape);
        QCOMPARE(state(), "zoom 1 pan 0,0 layer 0,0 crop 0,0 0x0");
        QCOMPARE(viewportSpy_->count(), 0);
    }

    void wheel_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<Points>("deltas"); // in pixels, then in eighths of a degree
        QTest::addColumn<bool>("alt");
        QTest::addColumn<QString>("after");
        auto row = [](const char* name, const char* tool, const Points& deltas, bool alt,
                      const char* view) {
            QTest::newRow(name) << tool << deltas << alt
                                << QString(view) + " layer 0,0 crop 0,0 0x0";
        };
        const Points trackpad{{3, 5}, {36, 60}};
        row("hand-pans-y-negated", "hand", trackpad, false, "zoom 1 pan 3,-5");
        row("mouse-notch-pans-10-points", "hand", {{}, {0, 120}}, false, "zoom 1 pan 0,-10");
        row("alt-zooms-in-even-with-hand", "hand", trackpad, true, "zoom 1.08 pan 0,0");
        row("zoom-tool-zooms-out", "zoom", {{0, -2}, {0, -24}}, false, "zoom 0.92 pan 0,0");
        row("alt-wheel-turned-horizontal-zooms-in", "move", {{}, {120, 0}}, true,
            "zoom 1.08 pan 0,0");
        row("move-passes-on", "move", trackpad, false, "zoom 1 pan 0,0");
    }
    void wheel() {
        QFETCH(QString, tool);
        QFETCH(Points, deltas);
        QFETCH(bool, alt);
        QFETCH(QString, after);
        f_->session.selectTool(tool.toStdString());
        QWheelEvent event(QPointF(500, 400), QPointF(500, 400), deltas[0], deltas[1], Qt::NoButton,
                          alt ? Qt::AltModifier : Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(f_->canvas, &event);
        const bool kept = tool != "move" || alt; // else passed on to the parent
        QCOMPARE(event.isAccepted(), kept);
        QCOMPARE(state(), after);
        QCOMPARE(viewportSpy_->count(), kept ? 1 : 0);
    }

    void pinchZoomsAndAlwaysNotifies() {
        for (const double magnification : {0.25, -1.0}) { // a factor of 0 is ignored
            QNativeGestureEvent event(Qt::ZoomNativeGesture,
                                      QPointingDevice::primaryPointingDevice(), 2, {}, {}, {},
                                      magnification, {});
            QApplication::sendEvent(f_->canvas, &event);
        }
        QCOMPARE(state(), "zoom 1.25 pan 0,0 layer 0,0 crop 0,0 0x0");
        QCOMPARE(viewportSpy_->count(), 2);
        QCOMPARE(viewportSpy_->first().at(0).value<QObject*>(), f_->canvas);
    }
};

QTEST_MAIN(KanvoCanvasInteractionTest)
#include "KanvoCanvasInteractionTest.moc"
