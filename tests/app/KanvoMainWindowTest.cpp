#include "app/KanvoAppDelegate.h"
#include "canvas/KanvoCanvasView.h"
#include "kanvo/ui/document_session.h"
#include "kit/KanvoNotifications.h"
#include "panels/KanvoWorkspaceView.h"

#include <QApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QtTest>

class KanvoMainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Qt's own dialog widgets, so the test can answer them on every desktop.
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        QImage image(64, 48, QImage::Format_Mono);
        image.fill(0);
        QVERIFY(image.save(files_.filePath("photo.png"), "PNG"));
        QVERIFY(image.save(files_.filePath("photo.txt"), "PNG"));
        QFile text(files_.filePath("notes.png"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("plain text\n") > 0);
        delegate_.applicationDidFinishLaunching();
        QVERIFY(QTest::qWaitForWindowExposed(delegate_.window()));
    }

    // Frames are laid out y-up, and siblings stack in the order they are added: palette, top
    // bar, tab strip, canvas, status bar, generate bar and inspector, each over its background.
    void workspaceStacksItsViewsAtTheirFrames() {
        QList<QRect> frames;
        for (const QWidget* view :
             workspace()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            frames << view->geometry();
        }
        const QList<QRect> expected = {{0, 0, 54, 920},     {0, 0, 54, 920},    {54, 0, 1116, 88},
                                       {54, 0, 1116, 52},   {54, 52, 1116, 36}, {54, 88, 1116, 802},
                                       {54, 890, 1116, 30}, {78, 818, 640, 58}, {1170, 0, 330, 920},
                                       {1170, 0, 330, 920}};
        QCOMPARE(frames, expected);
    }

    void menuHasExactlyTheDesignedItems() {
        QStringList items;
        for (QAction* menu : delegate_.window()->menuBar()->actions()) {
            for (QAction* item : menu->menu()->actions()) {
                items << menu->text() + " | " + item->text() + " | " +
                             item->shortcut().toString(QKeySequence::PortableText);
            }
        }
        QCOMPARE(items,
                 (QStringList{"Kanvo | Quit Kanvo | Ctrl+Q", "File | Open... | Ctrl+O",
                              "File | Export As... | Ctrl+E", "View | Fit to Screen | Ctrl+0"}));
    }

    // Only a failure alerts; a cancelled dialog does nothing.
    void commandsAlertOnlyOnFailure() {
        run("Export As...", "out.png", "Kanvo could not export the current image.");
        run("Export As...", "", "");
        run("Open...", "notes.png", "Kanvo could not open that image.");
        run("Open...", "", "");
    }

    // Acceptance is whatever header inspection says, and inspection picks its parser by the
    // name's extension: a PNG named .txt is refused as surely as text named .png.
    void dropIsJudgedByInspectionAndFitResetsTheZoom() {
        for (const auto& [name, accepted] :
             {std::pair{"photo.txt", false}, {"notes.png", false}, {"photo.png", true}}) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(files_.filePath(name))});
            QDragEnterEvent enter({200, 200}, Qt::CopyAction, &data, Qt::LeftButton, {});
            QDropEvent drop(QPointF(200, 200), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(workspace()->canvas(), &enter);
            QApplication::sendEvent(workspace()->canvas(), &drop);
            QCOMPARE((QList<QVariant>{name, enter.isAccepted(), drop.isAccepted()}),
                     (QList<QVariant>{name, accepted, accepted}));
        }
        kanvo::ui::DocumentSession* session = workspace()->canvas()->session();
        QVERIFY(session->document() != nullptr);
        session->zoomViewport(3.0);
        action("Fit to Screen")->trigger();
        QCOMPARE(session->document()->viewport.zoom, 1.0);
    }

private:
    KanvoWorkspaceView* workspace() const {
        return qobject_cast<KanvoWorkspaceView*>(delegate_.window()->centralWidget());
    }

    QAction* action(const QString& text) const {
        const auto items = delegate_.window()->menuBar()->findChildren<QAction*>();
        const auto found = std::ranges::find(items, text, &QAction::text);
        return found == items.end() ? nullptr : *found;
    }

    // Triggers the command and answers its file dialog with the file (none: cancel), which
    // exists when it is to be opened and is new when it is to be saved; a dialog of the other
    // kind is cancelled. Then checks the alert the command left, if any, and closes it.
    void run(const QString& command, const QString& name, const QString& alert) {
        const QString path = name.isEmpty() ? QString() : files_.filePath(name);
        QTimer::singleShot(0, [path] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY2(dialog != nullptr, "no file dialog is open");
            const auto mode =
                QFile::exists(path) ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave;
            if (path.isEmpty() || dialog->acceptMode() != mode) {
                return dialog->reject();
            }
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
        });
        action(command)->trigger();
        QStringList alerts;
        for (QMessageBox* box : delegate_.window()->findChildren<QMessageBox*>()) {
            alerts << box->text() + (box->icon() == QMessageBox::Warning ? "" : " (not a warning)");
            delete box;
        }
        QCOMPARE(alerts, alert.isEmpty() ? QStringList() : QStringList{alert});
    }

    QTemporaryDir files_;
    KanvoAppDelegate delegate_;
};

QTEST_MAIN(KanvoMainWindowTest)
#include "KanvoMainWindowTest.moc"
