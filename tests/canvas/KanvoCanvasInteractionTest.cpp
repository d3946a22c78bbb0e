#include "CanvasFixtures.h"
#include "kit/KanvoNotifications.h"

#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

namespace {

// Counts the keys the canvas passes on to its parent.
class Parent : public QWidget {
public:
    int keys = 0;

protected:
    void keyPressEvent(QKeyEvent*) override { ++keys; }
};

struct View {
    double zoom;
    double offsetX;
    double offsetY;
};

View viewOf(const kanvo::ui::DocumentSession& session) {
    const auto& v = session.document()->viewport;
    return {v.zoom, v.offset_x, v.offset_y};
}

QPointF layerPosition(const kanvo::ui::DocumentSession& session) {
    return {session.activeLayer()->x, session.activeLayer()->y};
}

} // namespace

class KanvoCanvasInteractionTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString imagePath_;
    std::unique_ptr<Parent> parent_;
    std::unique_ptr<kanvo::ui::DocumentSession> session_;
    KanvoCanvasView* canvas_ = nullptr;

    // Points are y-up view coordinates of the canvas.
    void press(QPointF p) { QTest::mousePress(canvas_, Qt::LeftButton, {}, qtPoint(*canvas_, p)); }
    void dragTo(QPointF p) { QTest::mouseMove(canvas_, qtPoint(*canvas_, p)); }
    void release(QPointF p) {
        QTest::mouseRelease(canvas_, Qt::LeftButton, {}, qtPoint(*canvas_, p));
    }
    void drag(QPointF from, QPointF to) {
        press(from);
        dragTo(to);
    }

    // True when the canvas kept the event, false when it passed it on.
    bool scroll(QPoint pixelDelta, QPoint angleDelta, Qt::KeyboardModifiers modifiers) {
        const QPointF at(500, 400);
        QWheelEvent event(at, canvas_->mapToGlobal(at), pixelDelta, angleDelta, Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas_, &event);
        return event.isAccepted();
    }

    void pinch(double magnification) {
        const QPointF at(500, 400);
        QNativeGestureEvent event(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(),
                                  2, at, at, canvas_->mapToGlobal(at), magnification, QPointF());
        QApplication::sendEvent(canvas_, &event);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        imagePath_ = writePpm(QDir(dir_.path()), "layer.ppm", QSize(420, 328), Qt::gray);
    }

    void init() {
        parent_ = std::make_unique<Parent>();
        parent_->resize(1000, 800);
        session_ = std::make_unique<kanvo::ui::DocumentSession>();
        canvas_ = new KanvoCanvasView(QRectF(0, 0, 1000, 800), parent_.get());
        canvas_->setSession(session_.get());
        QVERIFY(canvas_->openImageURL(fileUrl(imagePath_)));
    }

    void cleanup() {
        parent_.reset();
        session_.reset();
    }

    void moveDragIsDividedByTheZoom_data() {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QPointF>("dragBy");
        QTest::addColumn<QPointF>("layerAt");
        QTest::newRow("zoom-1-follows-pointer") << 1.0 << QPointF(32, -40) << QPointF(32, -40);
        QTest::newRow("zoom-2-half-the-drag") << 2.0 << QPointF(32, -48) << QPointF(16, -24);
        QTest::newRow("zoom-4-quarter") << 4.0 << QPointF(-64, 128) << QPointF(-16, 32);
    }
    void moveDragIsDividedByTheZoom() {
        QFETCH(double, zoom);
        QFETCH(QPointF, dragBy);
        QFETCH(QPointF, layerAt);
        session_->zoomViewport(zoom);
        drag({500, 400}, QPointF(500, 400) + dragBy);
        QCOMPARE(layerPosition(*session_), layerAt);
    }

    void moveDragIsIncremental() {
        session_->zoomViewport(2.0);
        press({500, 400});
        dragTo({516, 400});
        dragTo({532, 400});
        QCOMPARE(layerPosition(*session_), QPointF(16, 0));
    }

    void releaseClearsGuides() {
        drag({500, 400}, {501, 400}); // snaps back to the canvas centre
        QVERIFY(!session_->document()->align_guides.empty());
        release({501, 400});
        QVERIFY(session_->document()->align_guides.empty());
    }

    void handDragPansUnscaled_data() {
        QTest::addColumn<double>("zoom");
        QTest::newRow("zoom-1") << 1.0;
        QTest::newRow("zoom-4") << 4.0;
    }
    void handDragPansUnscaled() {
        QFETCH(double, zoom);
        session_->zoomViewport(zoom);
        session_->selectTool("hand");
        drag({300, 200}, {315, 196});
        QCOMPARE(viewOf(*session_).offsetX, 15.0);
        QCOMPARE(viewOf(*session_).offsetY, -4.0);
        release({315, 196});
        QCOMPARE(viewOf(*session_).offsetX, 15.0);
    }

    void cropSpansPressToCurrentPoint_data() {
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<QRectF>("crop");
        QTest::addColumn<bool>("active");
        QTest::newRow("up-left-normalised")
            << QPointF(250, 260) << QRectF(250, 200, 50, 60) << true;
        QTest::newRow("one-point-stays-inactive")
            << QPointF(301, 201) << QRectF(300, 200, 1, 1) << false;
        QTest::newRow("two-points-is-not-enough")
            << QPointF(302, 260) << QRectF(300, 200, 2, 60) << false;
        QTest::newRow("three-points") << QPointF(303, 203) << QRectF(300, 200, 3, 3) << true;
    }
    void cropSpansPressToCurrentPoint() {
        QFETCH(QPointF, to);
        QFETCH(QRectF, crop);
        QFETCH(bool, active);
        session_->selectTool("crop");
        press({300, 200});
        dragTo({600, 600}); // replaced, not grown, by the next event
        dragTo(to);
        const auto& c = session_->document()->crop;
        QCOMPARE(QRectF(c.x, c.y, c.width, c.height), crop);
        QCOMPARE(c.active, active);
        release(to);
        QCOMPARE(session_->document()->crop.active, active);
    }

    void escapeClearsCropOtherKeysGoToParent() {
        session_->setCropBounds(10, 10, 50, 50);
        QTest::keyClick(canvas_, Qt::Key_A);
        QCOMPARE(parent_->keys, 1);
        QVERIFY(session_->document()->crop.active);
        QTest::keyClick(canvas_, Qt::Key_Escape);
        QCOMPARE(parent_->keys, 1);
        QVERIFY(!session_->document()->crop.active);
        QCOMPARE(session_->document()->crop.width, 0.0);
    }

    void pressTakesFocus() {
        parent_->show();
        QVERIFY(QTest::qWaitForWindowExposed(parent_.get()));
        press({300, 300});
        QTRY_VERIFY(canvas_->hasFocus());
    }

    void dragsNotifyOncePerEventForCanvasToolsOnly_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<int>("notifications");
        QTest::newRow("move") << "move" << 2;
        QTest::newRow("hand") << "hand" << 2;
        QTest::newRow("crop") << "crop" << 2;
        QTest::newRow("zoom-ignores-drags") << "zoom" << 0;
        QTest::newRow("manifest-tool-ignores-drags") << "brush" << 0;
        QTest::newRow("tool-ids-are-case-sensitive") << "Move" << 0;
    }
    void dragsNotifyOncePerEventForCanvasToolsOnly() {
        QFETCH(QString, tool);
        QFETCH(int, notifications);
        session_->selectTool(tool.toStdString());
        QSignalSpy viewport(KanvoNotifications::defaultCenter(),
                            &KanvoNotifications::viewportChanged);
        QSignalSpy session(KanvoNotifications::defaultCenter(),
                           &KanvoNotifications::documentSessionChanged);
        press({300, 300});
        dragTo({340, 330});
        dragTo({380, 360});
        release({380, 360});
        QTest::keyClick(canvas_, Qt::Key_Escape);
        QCOMPARE(viewport.count(), notifications);
        for (const auto& args : viewport) {
            QCOMPARE(args.at(0).value<QObject*>(), canvas_);
        }
        QCOMPARE(session.count(), 0);
        if (notifications == 0) {
            QCOMPARE(layerPosition(*session_), QPointF(0, 0));
            QCOMPARE(viewOf(*session_).offsetX, 0.0);
        }
    }

    void wheel_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QPoint>("pixelDelta");
        QTest::addColumn<QPoint>("angleDelta");
        QTest::addColumn<bool>("alt");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QPointF>("offset");
        QTest::addColumn<bool>("passedOn");
        const QPointF none;
        QTest::newRow("hand-pans-y-negated")
            << "hand" << QPoint(3, 5) << QPoint(36, 60) << false << 1.0 << QPointF(3, -5) << false;
        QTest::newRow("hand-mouse-notch-is-10-points")
            << "hand" << QPoint() << QPoint(0, 120) << false << 1.0 << QPointF(0, -10) << false;
        QTest::newRow("alt-zooms-in-even-with-hand")
            << "hand" << QPoint(3, 5) << QPoint(36, 60) << true << 1.08 << none << false;
        QTest::newRow("zoom-tool-zooms-out")
            << "zoom" << QPoint(0, -2) << QPoint(0, -24) << false << 0.92 << none << false;
        QTest::newRow("zero-delta-zooms-out")
            << "zoom" << QPoint(4, 0) << QPoint(48, 0) << false << 0.92 << none << false;
        QTest::newRow("one-step-whatever-the-size")
            << "zoom" << QPoint(0, 500) << QPoint(0, 6000) << false << 1.08 << none << false;
        QTest::newRow("alt-wheel-turned-horizontal-still-zooms-in")
            << "move" << QPoint() << QPoint(120, 0) << true << 1.08 << none << false;
        QTest::newRow("move-passes-on")
            << "move" << QPoint(3, 5) << QPoint(36, 60) << false << 1.0 << none << true;
        QTest::newRow("crop-passes-on")
            << "crop" << QPoint(3, 5) << QPoint(36, 60) << false << 1.0 << none << true;
    }
    void wheel() {
        QFETCH(QString, tool);
        QFETCH(QPoint, pixelDelta);
        QFETCH(QPoint, angleDelta);
        QFETCH(bool, alt);
        QFETCH(double, zoom);
        QFETCH(QPointF, offset);
        QFETCH(bool, passedOn);
        session_->selectTool(tool.toStdString());
        QSignalSpy viewport(KanvoNotifications::defaultCenter(),
                            &KanvoNotifications::viewportChanged);
        const bool kept = scroll(pixelDelta, angleDelta, alt ? Qt::AltModifier : Qt::NoModifier);
        QCOMPARE(viewOf(*session_).zoom, zoom);
        QCOMPARE(QPointF(viewOf(*session_).offsetX, viewOf(*session_).offsetY), offset);
        QCOMPARE(kept, !passedOn);
        QCOMPARE(viewport.count(), passedOn ? 0 : 1);
    }

    void wheelWithoutDocumentIsDropped() {
        kanvo::ui::DocumentSession empty;
        canvas_->setSession(&empty);
        empty.selectTool("hand");
        QSignalSpy viewport(KanvoNotifications::defaultCenter(),
                            &KanvoNotifications::viewportChanged);
        QVERIFY(scroll(QPoint(3, 5), QPoint(36, 60), Qt::NoModifier));
        QCOMPARE(viewport.count(), 0);
        canvas_->setSession(session_.get());
    }

    void pinchZooms_data() {
        QTest::addColumn<double>("startZoom");
        QTest::addColumn<double>("magnification");
        QTest::addColumn<double>("zoom");
        QTest::newRow("quarter-more") << 1.0 << 0.25 << 1.25;
        QTest::newRow("held-at-16") << 16.0 << 0.5 << 16.0;
        QTest::newRow("factor-zero-ignored") << 2.0 << -1.0 << 2.0;
    }
    void pinchZooms() {
        QFETCH(double, startZoom);
        QFETCH(double, magnification);
        QFETCH(double, zoom);
        session_->selectTool("crop");
        session_->zoomViewport(startZoom);
        QSignalSpy viewport(KanvoNotifications::defaultCenter(),
                            &KanvoNotifications::viewportChanged);
        pinch(magnification);
        QCOMPARE(viewOf(*session_).zoom, zoom);
        QCOMPARE(viewport.count(), 1);
    }

    void fitResetsViewOnly() {
        session_->selectTool("hand");
        drag({300, 300}, {340, 280});
        session_->zoomViewport(3.0);
        session_->setCropBounds(10, 20, 30, 40);
        session_->selectTool("move");
        drag({300, 300}, {332, 300});
        const QPointF layer = layerPosition(*session_);
        QSignalSpy viewport(KanvoNotifications::defaultCenter(),
                            &KanvoNotifications::viewportChanged);
        canvas_->fitToScreen();
        QCOMPARE(viewport.count(), 1);
        QCOMPARE(viewOf(*session_).zoom, 1.0);
        QCOMPARE(QPointF(viewOf(*session_).offsetX, viewOf(*session_).offsetY), QPointF(0, 0));
        QCOMPARE(layerPosition(*session_), layer);
        QCOMPARE(session_->document()->crop.x, 10.0);
        QVERIFY(session_->document()->crop.active);
    }

    void fitWithoutDocumentStillNotifiesWithoutSessionNothing() {
        QSignalSpy viewport(KanvoNotifications::defaultCenter(),
                            &KanvoNotifications::viewportChanged);
        kanvo::ui::DocumentSession empty;
        canvas_->setSession(&empty);
        canvas_->fitToScreen();
        QCOMPARE(viewport.count(), 1);
        canvas_->setSession(nullptr);
        canvas_->fitToScreen();
        QCOMPARE(viewport.count(), 1);
    }
};

QTEST_MAIN(KanvoCanvasInteractionTest)
#include "KanvoCanvasInteractionTest.moc"
