#include "PanelTestImage.h"
#include "kanvo/ui/document_session.h"
#include "kit/KanvoNotifications.h"
#include "kit/KanvoSymbols.h"
#include "panels/KanvoInspectorView.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>
#include <QtTest>
#include <chrono>

namespace {

QSignalSpy sessionSpy() {
    return QSignalSpy(KanvoNotifications::defaultCenter(),
                      &KanvoNotifications::documentSessionChanged);
}

// The inspector in a shown window, so its name field can take the keyboard focus.
struct InspectorWindow {
    explicit InspectorWindow(kanvo::ui::DocumentSession* session) {
        window.resize(330, 920);
        inspector = new KanvoInspectorView(QRectF(0, 0, 330, 920), session, &window);
        window.show();
        QApplication::setActiveWindow(&window);
    }

    void typeName(const QString& name) const {
        QLineEdit* field = inspector->layerNameField();
        field->setFocus();
        field->selectAll();
        if (name.isEmpty()) {
            QTest::keyClick(field, Qt::Key_Backspace);
        } else {
            QTest::keyClicks(field, name);
        }
        QTest::keyClick(field, Qt::Key_Return);
    }

    QWidget window;
    KanvoInspectorView* inspector = nullptr;
};

} // namespace

class InspectorTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        KanvoSymbols::installIconTheme();
        image_ = writeTestPng(folder_.path(), 1598, 1132);
    }

    void withoutDocumentShowsDefaultsAndActionsDoNothing() {
        kanvo::ui::DocumentSession session;
        InspectorWindow w(&session);
        KanvoInspectorView* inspector = w.inspector;
        QSignalSpy posted = sessionSpy();

        QCOMPARE(inspector->metadataLabel()->text(), QStringLiteral("No document"));
        QCOMPARE(inspector->layerNameField()->text(), QStringLiteral("Layer 1"));
        QCOMPARE(inspector->opacitySlider()->value(), 100);

        w.typeName(QStringLiteral("Sky"));
        QTest::mouseClick(inspector->visibilityButton(), Qt::LeftButton);
        inspector->opacitySlider()->setValue(40);

        QCOMPARE(posted.size(), 0);
        QVERIFY(!posted.wait(100));
    }

    void metadataCountsLayersWithTheSingularWord() {
        kanvo::ui::DocumentSession session;
        KanvoInspectorView inspector(QRectF(0, 0, 330, 920), &session, nullptr);
        session.openImage(image_.toStdString());
        emit KanvoNotifications::defaultCenter()->documentSessionChanged(nullptr);
        QCOMPARE(inspector.metadataLabel()->text(),
                 QStringLiteral("Pixel Layer\n1598x1132 px \u00B7 1 layer"));

        session.duplicateLayer(session.activeLayer()->id);
        emit KanvoNotifications::defaultCenter()->documentSessionChanged(nullptr);
        QCOMPARE(inspector.metadataLabel()->text(),
                 QStringLiteral("Pixel Layer\n1598x1132 px \u00B7 2 layer"));
        QCOMPARE(inspector.layerNameField()->text(), QStringLiteral("Layer 1 copy"));
    }

    void refreshDoesNotWriteBackIntoTheLayer() {
        kanvo::ui::DocumentSession session;
        session.openImage(image_.toStdString());
        KanvoInspectorView inspector(QRectF(0, 0, 330, 920), &session, nullptr);
        session.setLayerOpacity(session.activeLayer()->id, 0.355);
        session.setLayerVisible(session.activeLayer()->id, false);

        emit KanvoNotifications::defaultCenter()->documentSessionChanged(nullptr);

        QCOMPARE(inspector.opacitySlider()->value(), 36);
        QVERIFY(!inspector.visibilityButton()->isChecked());
        QCOMPARE(session.activeLayer()->opacity, 0.355);
    }

    void renameReachesTheSessionAndPostsOnce() {
        kanvo::ui::DocumentSession session;
        session.openImage(image_.toStdString());
        InspectorWindow w(&session);
        QSignalSpy posted = sessionSpy();

        w.typeName(QStringLiteral("Sky"));

        QCOMPARE(session.activeLayer()->name, std::string("Sky"));
        QCOMPARE(posted.size(), 1);
        QCOMPARE(posted[0][0].value<QObject*>(), w.inspector);
    }

    void emptyNameKeepsTheOldOneAndShowsItAgain() {
        kanvo::ui::DocumentSession session;
        session.openImage(image_.toStdString());
        InspectorWindow w(&session);

        w.typeName(QString());

        QCOMPARE(session.activeLayer()->name, std::string("Layer 1"));
        QCOMPARE(w.inspector->layerNameField()->text(), QStringLiteral("Layer 1"));
    }

    void visibilityReachesTheSessionAndPostsOnce() {
        kanvo::ui::DocumentSession session;
        session.openImage(image_.toStdString());
        InspectorWindow w(&session);
        QSignalSpy posted = sessionSpy();
        QVERIFY(w.inspector->visibilityButton()->isChecked());

        QTest::mouseClick(w.inspector->visibilityButton(), Qt::LeftButton);

        QVERIFY(!session.activeLayer()->visible);
        QCOMPARE(posted.size(), 1);
    }

    void opacityBurstPostsOnceAfterTheLastValue() {
        kanvo::ui::DocumentSession session;
        session.openImage(image_.toStdString());
        KanvoInspectorView inspector(QRectF(0, 0, 330, 920), &session, nullptr);
        QList<double> opacityWhenPosted;
        QObject probe;
        connect(KanvoNotifications::defaultCenter(), &KanvoNotifications::documentSessionChanged,
                &probe, [&] { opacityWhenPosted << session.activeLayer()->opacity; });

        // No event loop runs between the moves, so all of them fall inside one sixtieth.
        for (int value = 99; value >= 50; --value) {
            inspector.opacitySlider()->setValue(value);
            QCOMPARE(session.activeLayer()->opacity, value / 100.0);
        }
        QCOMPARE(opacityWhenPosted.size(), 0);

        // A marker well after the coalescing delay: any stray notification fires before it.
        QTimer marker;
        marker.setSingleShot(true);
        marker.setTimerType(Qt::PreciseTimer);
        QSignalSpy markerFired(&marker, &QTimer::timeout);
        marker.start(std::chrono::milliseconds(60));
        QVERIFY(markerFired.wait(2000));

        QCOMPARE(opacityWhenPosted, QList<double>{0.5});

        // The next move schedules a new notification.
        inspector.opacitySlider()->setValue(20);
        QTRY_COMPARE(opacityWhenPosted.size(), 2);
        QCOMPARE(opacityWhenPosted.last(), 0.2);
    }

private:
    QTemporaryDir folder_;
    QString image_;
};

QTEST_MAIN(InspectorTest)
#include "InspectorTest.moc"
