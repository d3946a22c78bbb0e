#include "panels/KanvoWorkspaceView.h"

#include "AppTestFiles.h"
#include "canvas/KanvoCanvasView.h"
#include "kit/KanvoNotifications.h"
#include "kit/KanvoPanelView.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList labelTexts(const QWidget* parent) {
    QStringList texts;
    for (const QLabel* label : parent->findChildren<QLabel*>()) {
        texts.append(label->text());
    }
    return texts;
}

} // namespace

class KanvoWorkspaceViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(files_.isValid()); }

    // Frames are laid out y-up; a slip in the conversion puts the strips on
    // the wrong side of the canvas.
    void framesFor1500x920() {
        KanvoWorkspaceView workspace({0, 0, 1500, 920}, nullptr);
        QCOMPARE(workspace.size(), QSize(1500, 920));

        QList<QRect> backgrounds;
        for (const auto* panel :
             workspace.findChildren<KanvoPanelView*>(Qt::FindDirectChildrenOnly)) {
            backgrounds.append(panel->geometry());
        }
        const QList<QRect> expectedBackgrounds = {QRect(0, 0, 54, 920), QRect(54, 0, 1116, 88),
                                                  QRect(1170, 0, 330, 920)};
        QCOMPARE(backgrounds, expectedBackgrounds);

        const auto* tabStrip = workspace.findChild<QWidget*>("tabStrip");
        const auto* statusBar = workspace.findChild<QWidget*>("statusBar");
        QVERIFY(tabStrip != nullptr && statusBar != nullptr);
        QCOMPARE(tabStrip->geometry(), QRect(54, 52, 1116, 36));
        QCOMPARE(workspace.canvas()->geometry(), QRect(54, 88, 1116, 802));
        QCOMPARE(statusBar->geometry(), QRect(54, 890, 1116, 30));
        QCOMPARE(workspace.canvas()->geometry().top(), tabStrip->geometry().bottom() + 1);
        QCOMPARE(workspace.canvas()->geometry().bottom() + 1, statusBar->geometry().top());

        const QList<QWidget*> stack = workspace.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        QVERIFY(stack.indexOf(tabStrip) < stack.indexOf(workspace.canvas()));
        QVERIFY(stack.indexOf(workspace.canvas()) < stack.indexOf(statusBar));
    }

    void stripTextsIgnoreTheDocument() {
        KanvoWorkspaceView workspace({0, 0, 1500, 920}, nullptr);
        const auto* tabStrip = workspace.findChild<QWidget*>("tabStrip");
        const auto* statusBar = workspace.findChild<QWidget*>("statusBar");
        const QStringList tabTexts = {QStringLiteral("  Untitled @ 100% (Layer 1, RGB/8*)  ×")};
        const QStringList statusTexts = {QStringLiteral("  100%     1598 px × 1132 px (72 ppi)")};
        QCOMPARE(labelTexts(tabStrip), tabTexts);
        QCOMPARE(labelTexts(statusBar), statusTexts);

        QSignalSpy session(KanvoNotifications::defaultCenter(),
                           &KanvoNotifications::documentSessionChanged);
        const QString path = apptest::writePng(files_, "wide.png", {300, 100}, Qt::blue);
        QVERIFY(workspace.openImageURL(QUrl::fromLocalFile(path)));
        QTRY_COMPARE(session.count(), 2);
        workspace.canvas()->session()->zoomViewport(3.0);
        workspace.fitCanvasToScreen();
        QCOMPARE(labelTexts(tabStrip), tabTexts);
        QCOMPARE(labelTexts(statusBar), statusTexts);
    }

    void commandsReachTheCanvasAndItsSession() {
        KanvoWorkspaceView workspace({0, 0, 1500, 920}, nullptr);
        kanvo::ui::DocumentSession* session = workspace.canvas()->session();
        QVERIFY(session != nullptr);

        QSignalSpy decoded(KanvoNotifications::defaultCenter(),
                           &KanvoNotifications::documentSessionChanged);
        const QString path = apptest::writePng(files_, "square.png", {40, 40}, Qt::green);
        QVERIFY(workspace.openImageURL(QUrl::fromLocalFile(path)));
        QCOMPARE(session->document()->canvas.width, std::size_t(40));
        QTRY_COMPARE(decoded.count(), 2);

        session->zoomViewport(2.0);
        session->panViewport(15, -4);
        workspace.fitCanvasToScreen();
        QCOMPARE(session->document()->viewport.zoom, 1.0);
        QCOMPARE(session->document()->viewport.offset_x, 0.0);

        const QString target = files_.filePath("saved.png");
        QVERIFY(workspace.exportImageURL(QUrl::fromLocalFile(target)));
        QCOMPARE(QImage(target).pixelColor(5, 5), QColor(Qt::green));
    }

private:
    QTemporaryDir files_;
};

QTEST_MAIN(KanvoWorkspaceViewTest)
#include "KanvoWorkspaceViewTest.moc"
