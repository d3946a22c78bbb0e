#include "PanelTestImage.h"
#include "kanvo/ui/document_session.h"
#include "kit/KanvoNotifications.h"
#include "panels/KanvoInspectorView.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>
#include <QtTest>

namespace {

// The inspector in a shown window, so that its name field can take the keyboard focus.
struct InspectorWindow {
    explicit InspectorWindow(kanvo::ui::DocumentSession* session)
        : inspector(new KanvoInspectorView(QRectF(0, 0, 330, 920), session, &window)) {
        window.resize(330, 920);
        window.show();
        QApplication::setActiveWindow(&window);
    }

    void typeName(const QString& name) const {
        QLineEdit* field = inspector->layerNameField();
        field->setFocus();
        field->clear();
        QTest::keyClicks(field, name);
        QTest::keyClick(field, Qt::Key_Return);
    }

    QWidget window;
    KanvoInspectorView* inspector;
};

// Returns once every timer due within the given time has fired.
void settle(std::chrono::milliseconds time) {
    QTimer marker;
    marker.setSingleShot(true);
    marker.setTimerType(Qt::PreciseTimer);
    QSignalSpy fired(&marker, &QTimer::timeout);
    marker.start(time);
    QVERIFY(fired.wait(5000));
}

} // namespace

class InspectorTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { image_ = writeTestPng(folder_.path(), 1598, 1132); }
    void init() { posted_.clear(); }

    void withoutDocumentShowsDefaultsAndEditsNothing() {
        kanvo::ui::DocumentSession session;
        InspectorWindow w(&session);
        QCOMPARE(w.inspector->metadataLabel()->text(), "No document");
        QCOMPARE(w.inspector->layerNameField()->text(), "Layer 1");
        QCOMPARE(w.inspector->opacitySlider()->value(), 100);

        w.typeName("Sky");
        QTest::mouseClick(w.inspector->visibilityButton(), Qt::LeftButton);
        w.inspector->opacitySlider()->setValue(40);
        settle(std::chrono::milliseconds(60));
        QCOMPARE(posted_.size(), 0);
    }

    void metadataCountsLayersWithTheSingularWord() {
        kanvo::ui::DocumentSession session;
        KanvoInspectorView inspector(QRectF(0, 0, 330, 920), &session, nullptr);
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

    void nameAndVisibilityReachTheSessionAndPostOnce() {
        kanvo::ui::DocumentSession session;
        session.openImage(image_.toStdString());
        InspectorWindow w(&session);

        w.typeName("Sky");
        QCOMPARE(session.activeLayer()->name, "Sky");
        QCOMPARE(posted_, QList<QObject*>{w.inspector});

        w.typeName("");
        QCOMPARE(session.activeLayer()->name, "Sky");
        QCOMPARE(w.inspector->layerNameField()->text(), "Sky");

        QTest::mouseClick(w.inspector->visibilityButton(), Qt::LeftButton);
        QVERIFY(!session.activeLayer()->visible);
        QCOMPARE(posted_.size(), 3);
    }

    void opacityBurstPostsOnceAfterTheLastValue() {
        kanvo::ui::DocumentSession session;
        session.openImage(image_.toStdString());
        KanvoInspectorView inspector(QRectF(0, 0, 330, 920), &session, nullptr);
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
        settle(std::chrono::milliseconds(60));
        QCOMPARE(opacityWhenPosted, QList<double>{0.5});

        inspector.opacitySlider()->setValue(20);
        QTRY_COMPARE(opacityWhenPosted, (QList<double>{0.5, 0.2}));
    }

private:
    QTemporaryDir folder_;
    QString image_;
    QList<QObject*> posted_;
    QMetaObject::Connection recorder_ =
        connect(KanvoNotifications::defaultCenter(), &KanvoNotifications::documentSessionChanged,
                this, [this](QObject* sender) { posted_ << sender; });
};

QTEST_MAIN(InspectorTest)
#include "InspectorTest.moc"
