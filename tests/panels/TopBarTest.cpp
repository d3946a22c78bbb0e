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
    void zoomIsTruncatedNotRounded_data() {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QString>("text");
        QTest::newRow("smallest") << 0.05 << "5%";
        QTest::newRow("largest") << 16.0 << "1600%";
        QTest::newRow("0.29-is-just-below-29") << 0.29 << "28%";
        QTest::newRow("0.57-is-just-below-57") << 0.57 << "56%";
        QTest::newRow("just-below-fitted") << 0.999 << "99%";
        QTest::newRow("above-fitted") << 1.1 << "110%";
    }

    void zoomIsTruncatedNotRounded() {
        QFETCH(double, zoom);
        QFETCH(QString, text);
        QCOMPARE(KanvoTopBarView::zoomText(zoom), text);
    }

    void zoomPillFollowsEachNotification_data() {
        QTest::addColumn<Notify>("notify");
        QTest::newRow("tool-selection") << Notify(&KanvoNotifications::toolSelectionChanged);
        QTest::newRow("document-session") << Notify(&KanvoNotifications::documentSessionChanged);
        QTest::newRow("viewport") << Notify(&KanvoNotifications::viewportChanged);
    }

    void zoomPillFollowsEachNotification() {
        QFETCH(Notify, notify);
        QTemporaryDir folder;
        kanvo::ui::DocumentSession session;
        KanvoTopBarView bar(QRectF(0, 0, 1116, 52), &session, nullptr);
        KanvoTopBarView detached(QRectF(0, 0, 1116, 52), nullptr, nullptr);
        QCOMPARE(bar.zoomLabel()->text(), "100%");

        session.openImage(writeTestPng(folder.path(), 64, 48).toStdString());
        session.zoomViewport(0.57);
        (KanvoNotifications::defaultCenter()->*notify)(nullptr);

        QCOMPARE(bar.zoomLabel()->text(), "56%");
        QCOMPARE(bar.toolLabel()->text(), "");
        QCOMPARE(bar.hintLabel()->text(), "");
        QCOMPARE(detached.zoomLabel()->text(), "100%");
    }
};

QTEST_MAIN(TopBarTest)
#include "TopBarTest.moc"
