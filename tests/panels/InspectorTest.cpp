#include "PanelTestImage.h"
#include "kanvo/ui/document_session.h"
#include "kit/KanvoNotifications.h"
#include "panels/KanvoInspectorView.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QtTest>

namespace {

const QRectF kFrame(0, 0, 330, 920);

// Types into the name field as a user would; the field takes the focus only in a shown window.
// That window must go before the inspector, as in the application, for the field to lose the
// focus while the inspector still handles it.
void typeName(KanvoInspectorView& inspector, const QString& name) {
    inspector.window()->show();
    QApplication::setActiveWindow(inspector.window());
    QLineEdit* field = inspector.layerNameField();
    field->setFocus();
    field->clear();
    QTest::keyClicks(field, name);
    QTest::keyClick(field, Qt::Key_Return);
}

} // namespace

class InspectorTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { image_ = writeTestPng(folder_.path(), 1598, 1132); }

    void metadataCountsLayersWithTheSingularWord() {
        kanvo::ui::DocumentSession session;
        KanvoInspectorView inspector(kFrame, &session, nullptr);
        session.openImage(image_.toStdString());
        emit KanvoNotifications::defaultCenter()->documentSessionChanged(nullptr);
        QCOMPARE(inspector.metadataLabel()->text(), "Pixel Layer\n1598x1132 px \u00B7 1 layer");

        session.duplicateLayer(session.activeLayer()->id);
        session.setLayerOpacity(session.activeLayer()->id, 0.355);
        emit KanvoNotifications::defaultCenter()->documentSessionChanged(nullptr);
        QCOMPARE(inspector.metadataLabel()->text(), "Pixel Layer\n1598x1132 px \u00B7 2 layer");
        QCOMPARE(inspector.layerNameField()->text(), "Layer 1 copy");
        // Showing the layer must not store the slider's rounded value back into it.
        QCOMPARE(inspector.opacitySlider()->value(), 36);
        QCOMPARE(session.activeLayer()->opacity, 0.355);
    }

    // Without a document the fields show defaults and edit nothing; with one, each edit reaches
    // the session and posts once.
    void editsReachTheSessionOnlyWithADocument() {
        kanvo::ui::DocumentSession session;
        QWidget window;
        KanvoInspectorView& inspector = *new KanvoInspectorView(kFrame, &session, &window);
        QSignalSpy posted(KanvoNotifications::defaultCenter(),
                          &KanvoNotifications::documentSessionChanged);
        QCOMPARE(inspector.metadataLabel()->text(), "No document");
        QCOMPARE(inspector.layerNameField()->text(), "Layer 1");
        QCOMPARE(inspector.opacitySlider()->value(), 100);
        typeName(inspector, "Sky");
        QTest::mouseClick(inspector.visibilityButton(), Qt::LeftButton);
        inspector.opacitySlider()->setValue(40);
        QVERIFY(!posted.wait(100)); // longer than the opacity notification's delay
        QCOMPARE(posted.size(), 0);

        session.openImage(image_.toStdString());
        inspector.refresh();
        typeName(inspector, "Sky");
        QCOMPARE(session.activeLayer()->name, "Sky");
        QCOMPARE(posted.size(), 1);
        QCOMPARE(posted[0][0].value<QObject*>(), &inspector);

        typeName(inspector, "");
        QCOMPARE(session.activeLayer()->name, "Sky");
        QCOMPARE(inspector.layerNameField()->text(), "Sky");

        QTest::mouseClick(inspector.visibilityButton(), Qt::LeftButton);
        QVERIFY(!session.activeLayer()->visible);
        QCOMPARE(posted.size(), 3);
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

private:
    QTemporaryDir folder_;
    QString image_;
};

QTEST_MAIN(InspectorTest)
#include "InspectorTest.moc"
