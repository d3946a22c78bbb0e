#include "PanelTestImage.h"
#include "kanvo/ui/document_session.h"
#include "kit/KanvoNotifications.h"
#include "kit/KanvoSymbols.h"
#include "panels/KanvoTopBarView.h"

#include <QCheckBox>
#include <QLabel>
#include <QtTest>

using Notify = void (KanvoNotifications::*)(QObject*);
Q_DECLARE_METATYPE(Notify)

class TopBarTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        KanvoSymbols::installIconTheme();
        image_ = writeTestPng(folder_.path(), 64, 48);
    }

    void zoomIsTruncatedNotRounded_data() {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QString>("text");
        QTest::newRow("fitted") << 1.0 << "100%";
        QTest::newRow("smallest") << 0.05 << "5%";
        QTest::newRow("largest") << 16.0 << "1600%";
        QTest::newRow("0.29-is-just-below-29-percent") << 0.29 << "28%";
        QTest::newRow("0.57-is-just-below-57-percent") << 0.57 << "56%";
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
        kanvo::ui::DocumentSession session;
        KanvoTopBarView bar(QRectF(0, 0, 1116, 52), &session, nullptr);
        QCOMPARE(bar.zoomLabel()->text(), QStringLiteral("100%"));

        session.openImage(image_.toStdString());
        session.zoomViewport(0.57);
        (KanvoNotifications::defaultCenter()->*notify)(nullptr);

        QCOMPARE(bar.zoomLabel()->text(), QStringLiteral("56%"));
        QCOMPARE(bar.toolLabel()->text(), QString());
        QCOMPARE(bar.hintLabel()->text(), QString());
    }

    void withoutSessionTheTextsNeverChange() {
        kanvo::ui::DocumentSession session;
        session.openImage(image_.toStdString());
        session.zoomViewport(2.0);
        KanvoTopBarView detached(QRectF(0, 0, 1116, 52), nullptr, nullptr);
        KanvoTopBarView attached(QRectF(0, 0, 1116, 52), &session, nullptr);

        auto* center = KanvoNotifications::defaultCenter();
        emit center->toolSelectionChanged(nullptr);
        emit center->documentSessionChanged(nullptr);
        emit center->viewportChanged(nullptr);

        QCOMPARE(attached.zoomLabel()->text(), QStringLiteral("200%"));
        QCOMPARE(detached.zoomLabel()->text(), QStringLiteral("100%"));
        QCOMPARE(detached.toolLabel()->text(), QString());
    }

    void controlsAreInTheirPlaces() {
        KanvoTopBarView bar(QRectF(0, 0, 1116, 52), nullptr, nullptr);
        const QList<QCheckBox*> boxes = bar.findChildren<QCheckBox*>();
        QCOMPARE(boxes.size(), 3);
        QCOMPARE(boxes[0]->text(), QStringLiteral("Resize Windows to Fit"));
        QCOMPARE(boxes[0]->geometry(), QRect(202, 52 - 14 - 24, 160, 24));
        QCOMPARE((QList<bool>{boxes[0]->isChecked(), boxes[1]->isChecked(), boxes[2]->isChecked()}),
                 (QList<bool>{true, false, true}));
        // The pill lies over the end of the third checkbox.
        QWidget* pill = bar.zoomLabel()->parentWidget();
        QCOMPARE(pill->geometry(), QRect(660, 52 - 11 - 30, 62, 30));
        QVERIFY(bar.children().indexOf(pill) > bar.children().indexOf(boxes[2]));
        QCOMPARE(bar.toolLabel()->geometry(), QRect(946, 52 - 16 - 22, 0, 22));
        QCOMPARE(bar.hintLabel()->geometry(), QRect(956, 52 - 16 - 22, 0, 22));
    }

private:
    QTemporaryDir folder_;
    QString image_;
};

QTEST_MAIN(TopBarTest)
#include "TopBarTest.moc"
