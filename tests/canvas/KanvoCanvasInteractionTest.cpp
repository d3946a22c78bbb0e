#include "CanvasFixtures.h"
#include "kit/KanvoNotifications.h"

#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using Points = QList<QPointF>;

class KanvoCanvasInteractionTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::unique_ptr<CanvasFixture> f_;
    std::unique_ptr<QSignalSpy> viewportSpy_;

    kanvo::ui::DocumentSession& session() { return f_->session; }
    const kanvo::ui::Document& document() { return *f_->session.document(); }
    QPointF layerAt() { return {session().activeLayer()->x, session().activeLayer()->y}; }
    QPointF offset() { return {document().viewport.offset_x, document().viewport.offset_y}; }

    // Presses at the first y-up point and drags through the others.
    void drag(const Points& points) {
        QTest::mousePress(f_->canvas, Qt::LeftButton, {}, qtPoint(*f_->canvas, points.first()));
        for (const QPointF& p : points.mid(1)) {
            QTest::mouseMove(f_->canvas, qtPoint(*f_->canvas, p));
        }
    }
    void release() { QTest::mouseRelease(f_->canvas, Qt::LeftButton, {}, QPoint(1, 1)); }

    // True when the canvas kept the event, false when it passed it on.
    bool scroll(QPoint pixelDelta, QPoint angleDelta, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(500, 400), QPointF(500, 400), pixelDelta, angleDelta,
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(f_->canvas, &event);
        return event.isAccepted();
    }

private slots:
    void init() {
        f_ = std::make_unique<CanvasFixture>();
        QVERIFY(f_->canvas->openImageURL(
            fileUrl(writePpm(dir_.path(), "layer.ppm", QSize(420, 328), Qt::gray))));
        viewportSpy_ = std::make_unique<QSignalSpy>(KanvoNotifications::defaultCenter(),
                                                    &KanvoNotifications::viewportChanged);
    }
    void cleanup() {
        viewportSpy_.reset();
        f_.reset();
    }

    void dragActsPerTool_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<Points>("points");
        QTest::addColumn<QPointF>("layer");
        QTest::addColumn<QPointF>("pan");
        QTest::addColumn<QRectF>("crop");
        QTest::addColumn<bool>("cropActive");
        const Points twoSteps{{500, 400}, {516, 384}, {532, 368}};
        QTest::newRow("move-follows-pointer-at-zoom-1")
            << "move" << 1.0 << twoSteps << QPointF(32, -32) << QPointF() << QRectF() << false;
        QTest::newRow("move-half-the-drag-at-zoom-2")
            << "move" << 2.0 << twoSteps << QPointF(16, -16) << QPointF() << QRectF() << false;
        QTest::newRow("hand-pans-unscaled-at-zoom-4")
            << "hand" << 4.0 << Points{{300, 200}, {310, 198}, {315, 196}} << QPointF()
            << QPointF(15, -4) << QRectF() << false;
        QTest::newRow("crop-from-press-to-current-point")
            << "crop" << 1.0 << Points{{300, 200}, {600, 600}, {250, 260}} << QPointF() << QPointF()
            << QRectF(250, 200, 50, 60) << true;
        QTest::newRow("crop-of-two-points-is-inactive")
            << "crop" << 1.0 << Points{{300, 200}, {302, 260}} << QPointF() << QPointF()
            << QRectF(300, 200, 2, 60) << false;
        QTest::newRow("zoom-ignores-drags")
            << "zoom" << 1.0 << twoSteps << QPointF() << QPointF() << QRectF() << false;
        QTest::newRow("manifest-tool-ignores-drags")
            << "brush" << 1.0 << twoSteps << QPointF() << QPointF() << QRectF() << false;
        QTest::newRow("tool-ids-are-case-sensitive")
            << "Move" << 1.0 << twoSteps << QPointF() << QPointF() << QRectF() << false;
    }
    void dragActsPerTool() {
        QFETCH(QString, tool);
        QFETCH(double, zoom);
        QFETCH(Points, points);
        QFETCH(QPointF, layer);
        QFETCH(QPointF, pan);
        QFETCH(QRectF, crop);
        QFETCH(bool, cropActive);
        session().selectTool(tool.toStdString());
        session().zoomViewport(zoom);
        drag(points);
        const auto& c = document().crop;
        QCOMPARE(layerAt(), layer);
        QCOMPARE(offset(), pan);
        QCOMPARE(QRectF(c.x, c.y, c.width, c.height), crop);
        QCOMPARE(c.active, cropActive);

        const bool canvasTool = tool == "move" || tool == "hand" || tool == "crop";
        QCOMPARE(viewportSpy_->count(), canvasTool ? int(points.size()) - 1 : 0);
        for (const auto& args : *viewportSpy_) {
            QCOMPARE(args.at(0).value<QObject*>(), f_->canvas);
        }
        release(); // posts nothing, keeps the crop
        QCOMPARE(viewportSpy_->count(), canvasTool ? int(points.size()) - 1 : 0);
        QCOMPARE(document().crop.active, cropActive);
    }

    void releaseClearsTheMoveGuides() {
        drag({{500, 400}, {501, 400}}); // snapped back onto the canvas centre
        QVERIFY(!document().align_guides.empty());
        release();
        QVERIFY(document().align_guides.empty());
    }

    void escapeClearsCropOtherKeysGoToParent() {
        session().setCropBounds(10, 10, 50, 50);
        QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
        QApplication::sendEvent(f_->canvas, &other);
        QVERIFY(!other.isAccepted());
        QVERIFY(document().crop.active);
        QTest::keyClick(f_->canvas, Qt::Key_Escape);
        QVERIFY(!document().crop.active);
        QCOMPARE(document().crop.width, 0.0);
        QCOMPARE(viewportSpy_->count(), 0);
    }

    void wheel_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QPoint>("pixelDelta");
        QTest::addColumn<QPoint>("angleDelta");
        QTest::addColumn<bool>("alt");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QPointF>("pan");
        QTest::addColumn<bool>("kept");
        QTest::newRow("hand-pans-y-negated")
            << "hand" << QPoint(3, 5) << QPoint(36, 60) << false << 1.0 << QPointF(3, -5) << true;
        QTest::newRow("mouse-notch-pans-10-points")
            << "hand" << QPoint() << QPoint(0, 120) << false << 1.0 << QPointF(0, -10) << true;
        QTest::newRow("alt-zooms-in-even-with-hand")
            << "hand" << QPoint(3, 5) << QPoint(36, 60) << true << 1.08 << QPointF() << true;
        QTest::newRow("zoom-tool-zooms-out")
            << "zoom" << QPoint(0, -2) << QPoint(0, -24) << false << 0.92 << QPointF() << true;
        QTest::newRow("zero-delta-zooms-out")
            << "zoom" << QPoint(4, 0) << QPoint(48, 0) << false << 0.92 << QPointF() << true;
        QTest::newRow("alt-wheel-turned-horizontal-zooms-in")
            << "move" << QPoint() << QPoint(120, 0) << true << 1.08 << QPointF() << true;
        QTest::newRow("move-passes-on")
            << "move" << QPoint(3, 5) << QPoint(36, 60) << false << 1.0 << QPointF() << false;
    }
    void wheel() {
        QFETCH(QString, tool);
        QFETCH(QPoint, pixelDelta);
        QFETCH(QPoint, angleDelta);
        QFETCH(bool, alt);
        QFETCH(double, zoom);
        QFETCH(QPointF, pan);
        QFETCH(bool, kept);
        session().selectTool(tool.toStdString());
        QCOMPARE(scroll(pixelDelta, angleDelta, alt ? Qt::AltModifier : Qt::NoModifier), kept);
        QCOMPARE(document().viewport.zoom, zoom);
        QCOMPARE(offset(), pan);
        QCOMPARE(viewportSpy_->count(), kept ? 1 : 0);
    }

    void wheelWithoutDocumentIsSwallowed() {
        kanvo::ui::DocumentSession empty;
        empty.selectTool("hand");
        f_->canvas->setSession(&empty);
        QVERIFY(scroll(QPoint(3, 5), QPoint(36, 60), Qt::NoModifier));
        QCOMPARE(viewportSpy_->count(), 0);
    }

    void pinchZoomsAndAlwaysNotifies() {
        auto pinch = [&](double magnification) {
            QNativeGestureEvent event(Qt::ZoomNativeGesture,
                                      QPointingDevice::primaryPointingDevice(), 2, {}, {}, {},
                                      magnification, {});
            QApplication::sendEvent(f_->canvas, &event);
        };
        pinch(0.25);
        QCOMPARE(document().viewport.zoom, 1.25);
        pinch(-1.0); // a factor of 0 is ignored
        QCOMPARE(document().viewport.zoom, 1.25);
        QCOMPARE(viewportSpy_->count(), 2);
    }

    void fitResetsTheViewOnly() {
        session().zoomViewport(3.0);
        session().panViewport(40, -20);
        session().setCropBounds(10, 20, 30, 40);
        drag({{300, 300}, {332, 300}});
        const QPointF layer = layerAt();
        viewportSpy_->clear();
        f_->canvas->fitToScreen();
        QCOMPARE(document().viewport.zoom, 1.0);
        QCOMPARE(offset(), QPointF(0, 0));
        QCOMPARE(layerAt(), layer);
        QVERIFY(document().crop.active);

        kanvo::ui::DocumentSession empty; // no document: still notifies
        f_->canvas->setSession(&empty);
        f_->canvas->fitToScreen();
        f_->canvas->setSession(nullptr); // no session: nothing at all
        f_->canvas->fitToScreen();
        QCOMPARE(viewportSpy_->count(), 2);
    }
};

QTEST_MAIN(KanvoCanvasInteractionTest)
#include "KanvoCanvasInteractionTest.moc"
