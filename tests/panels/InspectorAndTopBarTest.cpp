#include "kanvo/ui/document_session.h"
#include "kit/KanvoNotifications.h"
#include "panels/KanvoInspectorView.h"
#include "panels/KanvoTopBarView.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QtTest>

namespace {

const QRectF kFrame(0, 0, 330, 920);

QString shown(const KanvoInspectorView& view) {
    return view.metadataLabel()->text() + " | " + view.layerNameField()->text() + " | " +
           QString::number(view.opacitySlider()->value());
}

} // namespace

class InspectorAndTopBarTest : public QObject {
    Q_OBJECT
    QTemporaryDir folder_;
    const QString image_ = folder_.filePath("photo.png");

private slots:
    void initTestCase() {
        QImage image(1598, 1132, QImage::Format_Mono);
        image.fill(0);
        QVERIFY(image.save(image_));
    }

    void inspectorShowsAndEditsTheActiveLayer() {
        kanvo::ui::DocumentSession session;
        // The name field takes the focus only in a shown window, and that window goes before
        // the inspector, as in the application, so the field loses the focus to a live view.
        QWidget window;
        auto* inspector = new KanvoInspectorView(kFrame, &session, &window);
        window.show();
        QApplication::setActiveWindow(&window);
        QLineEdit* field = inspector->layerNameField();
        const auto typeName = [field](const QString& name) {
            field->setFocus();
            field->clear();
            QTest::keyClicks(field, name);
            QTest::keyClick(field, Qt::Key_Return);
        };
        QSignalSpy posted(KanvoNotifications::defaultCenter(),
                          &KanvoNotifications::documentSessionChanged);
        QCOMPARE(shown(*inspector), "No document | Layer 1 | 100");

        session.openImage(image_.toStdString());
        inspector->refresh();
        QCOMPARE(shown(*inspector), "Pixel Layer\n1598x1132 px \u00B7 1 layer | Layer 1 | 100");
        typeName("Sky");
        QCOMPARE(posted.size(), 1);
        QCOMPARE(posted[0][0].value<QObject*>(), inspector);
        typeName(""); // keeps the old name and puts it back
        QTest::mouseClick(inspector->visibilityButton(), Qt::LeftButton);
        QCOMPARE(posted.size(), 3);
        QVERIFY(!session.activeLayer()->visible);

        session.duplicateLayer(session.activeLayer()->id);
        session.setLayerOpacity(session.activeLayer()->id, 0.355);
        emit KanvoNotifications::defaultCenter()->documentSessionChanged(nullptr);
        QCOMPARE(shown(*inspector), "Pixel Layer\n1598x1132 px \u00B7 2 layer | Sky copy | 36");
        // Showing the layer must not store the slider's rounded value back into it.
        QCOMPARE(session.activeLayer()->opacity, 0.355);
    }

    void destroyedMidEditLeavesTheLayerAlone() {
        kanvo::ui::DocumentSession session;
        session.openImage(image_.toStdString());
        auto* inspector = new KanvoInspectorView(kFrame, &session, nullptr);
        inspector->show();
        QApplication::setActiveWindow(inspector);
        inspector->layerNameField()->setFocus();
        QTest::keyClicks(inspector->layerNameField(), "Sky");
        delete inspector; // the field's focus loss must not reach the dying view
        QCOMPARE(session.activeLayer()->name, "Layer 1");
    }

    void opacityBurstPostsOnceAfterTheLastValue() {
        kanvo::ui::DocumentSession session;
        session.openImage(image_.toStdString());
        KanvoInspectorView inspector(kFrame, &session, nullptr);
        QList<double> opacityWhenPosted;
        QObject probe;
        connect(KanvoNotifications::defaultCenter(), &KanvoNotifications::documentSessionChanged,
                &probe, [&] { opacityWhenPosted << session.activeLayer()->opacity; });

        // No event loop runs between the moves, so they all fall within one sixtieth.
        for (int value = 99; value >= 50; --value) {
            inspector.opacitySlider()->setValue(value);
            QCOMPARE(session.activeLayer()->opacity, value / 100.0);
        }
        QCOMPARE(opacityWhenPosted.size(), 0);
        QTRY_COMPARE(opacityWhenPosted, QList<double>{0.5});
        inspector.opacitySlider()->setValue(20);
        // Had the burst posted more than once, the extra posts would come before this one.
        QTRY_COMPARE(opacityWhenPosted, (QList<double>{0.5, 0.2}));
    }

    // Each zoom times 100 lies just off a whole number: it must be cut, not rounded. Each
    // notification changes the text, so one the bar misses leaves the previous text.
    void zoomPillFollowsEachNotification() {
        kanvo::ui::DocumentSession session;
        KanvoTopBarView bar(QRectF(0, 0, 1116, 52), &session, nullptr);
        KanvoTopBarView detached(QRectF(0, 0, 1116, 52), nullptr, nullptr);
        QCOMPARE(bar.zoomLabel()->text(), "100%");
        session.openImage(image_.toStdString());
        for (const auto& [notify, zoom, text] :
             {std::tuple{&KanvoNotifications::toolSelectionChanged, 0.29, "28%"},
              {&KanvoNotifications::documentSessionChanged, 0.57, "56%"},
              {&KanvoNotifications::viewportChanged, 1.1, "110%"}}) {
            session.fitViewport();
            session.zoomViewport(zoom);
            (KanvoNotifications::defaultCenter()->*notify)(nullptr);
            QCOMPARE(bar.zoomLabel()->text(), text);
        }
        QCOMPARE(detached.zoomLabel()->text(), "100%");
    }
};

QTEST_MAIN(InspectorAndTopBarTest)
#include "InspectorAndTopBarTest.moc"
