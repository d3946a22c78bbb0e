#include "PanelTestImage.h"
#include "kanvo/ui/document_session.h"
#include "kit/KanvoNotifications.h"
#include "panels/KanvoTopBarView.h"

#include <QLabel>
#include <QtTest>

using Notify = void (KanvoNotifications::*)(QObject*);
Q_DECLARE_METATYPE(Notify)

class TopBarTest : public QObject {
    Q_OBJECT
private slots:
    // Each zoom times 100 lies just below or above a whole number: it must be cut, not rounded.
    void zoomPillFollowsEachNotification_data() {
        QTest::addColumn<Notify>("notify");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QString>("text");
        QTest::newRow("tool-selection")
            << Notify(&KanvoNotifications::toolSelectionChanged) << 0.29 << "28%";
        QTest::newRow("document-session")
            << Notify(&KanvoNotifications::documentSessionChanged) << 0.57 << "56%";
        QTest::newRow("viewport") << Notify(&KanvoNotifications::viewportChanged) << 1.1 << "110%";
    }

    void zoomPillFollowsEachNotification() {
        QFETCH(Notify, notify);
        QFETCH(double, zoom);
        QFETCH(QString, text);
        QTemporaryDir folder;
        kanvo::ui::DocumentSession session;
        KanvoTopBarView bar(QRectF(0, 0, 1116, 52), &session, nullptr);
        KanvoTopBarView detached(QRectF(0, 0, 1116, 52), nullptr, nullptr);
        QCOMPARE(bar.zoomLabel()->text(), "100%");

        session.openImage(writeTestPng(folder.path(), 64, 48).toStdString());
        session.zoomViewport(zoom);
        (KanvoNotifications::defaultCenter()->*notify)(nullptr);
        QCOMPARE(bar.zoomLabel()->text(), text);
        QCOMPARE(detached.zoomLabel()->text(), "100%");
    }
};

QTEST_MAIN(TopBarTest)
#include "TopBarTest.moc"
