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
#include <memory>

namespace {

// Once its event loop runs, the next file dialog gets the path: an existing file to open, a new
// one to save to. A dialog of the other kind, or an empty path, cancels it.
void answerNextFileDialog(const QString& path) {
    QTimer::singleShot(0, [path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY2(dialog != nullptr, "no file dialog is open");
        const auto mode = QFile::exists(path) ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave;
        if (path.isEmpty() || dialog->acceptMode() != mode) {
            dialog->reject();
        } else {
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
        }
    });
}

} // namespace

class KanvoMainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(files_.isValid());
        // Qt's own dialog widgets, so the test can answer them on every desktop.
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    }

    void init() {
        delegate_ = std::make_unique<KanvoAppDelegate>();
        delegate_->applicationDidFinishLaunching();
        QVERIFY(QTest::qWaitForWindowExposed(delegate_->window()));
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
        for (QAction* menu : delegate_->window()->menuBar()->actions()) {
            for (QAction* item : menu->menu()->actions()) {
                items << menu->text() + " | " + item->text() + " | " +
                             item->shortcut().toString(QKeySequence::PortableText);
            }
        }
        QCOMPARE(items,
                 (QStringList{"Kanvo | Quit Kanvo | Ctrl+Q", "File | Open... | Ctrl+O",
                              "File | Export As... | Ctrl+E", "View | Fit to Screen | Ctrl+0"}));
    }

    void menuCommandsOpenFitAndExport() {
        auto* center = KanvoNotifications::defaultCenter();
        QSignalSpy sessionChanged(center, &KanvoNotifications::documentSessionChanged);
        answerNextFileDialog(writePng("photo.png"));
        action("Open...")->trigger();
        kanvo::ui::DocumentSession* session = workspace()->canvas()->session();
        QTRY_COMPARE(sessionChanged.count(), 2); // opened, then decoded

        session->zoomViewport(3.0);
        QSignalSpy viewport(center, &KanvoNotifications::viewportChanged);
        delegate_->window()->activateWindow(); // the file dialog had the focus
        QVERIFY(QTest::qWaitForWindowActive(delegate_->window()));
        QTest::keyClick(delegate_->window(), Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(viewport.count(), 1);
        QCOMPARE(session->document()->viewport.zoom, 1.0);

        const QString target = files_.filePath("saved.png");
        answerNextFileDialog(target);
        action("Export As...")->trigger();
        QCOMPARE(QImage(target).pixelColor(5, 5), QColor(Qt::darkCyan));
        QCOMPARE(alerts(), QStringList{});
    }

    // Only a failure alerts; cancelling a dialog shows nothing.
    void commandsAlertOnlyOnFailure_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("chosenPath");
        QTest::addColumn<QString>("alert");
        QTest::newRow("open-text-named-png")
            << "Open..." << writeText("notes.png") << "Kanvo could not open that image.";
        QTest::newRow("open-cancelled") << "Open..." << QString() << QString();
        QTest::newRow("export-before-any-image") << "Export As..." << files_.filePath("out.png")
                                                 << "Kanvo could not export the current image.";
        QTest::newRow("export-cancelled") << "Export As..." << QString() << QString();
    }

    void commandsAlertOnlyOnFailure() {
        QFETCH(QString, command);
        QFETCH(QString, chosenPath);
        QFETCH(QString, alert);
        answerNextFileDialog(chosenPath);
        action(command)->trigger();
        QCOMPARE(alerts(), alert.isEmpty() ? QStringList() : QStringList{alert});
    }

    // Acceptance is whatever header inspection says, and inspection picks its parser by the
    // name's extension: a PNG named .txt is refused as surely as text named .png.
    void dropIsJudgedByInspection_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("png") << writePng("picture.png") << true;
        QTest::newRow("png-named-txt") << writePng("picture.txt") << false;
        QTest::newRow("text-named-png") << writeText("notes.png") << false;
    }

    void dropIsJudgedByInspection() {
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        QWidget* canvas = workspace()->canvas();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter({200, 200}, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        QDragMoveEvent move({205, 205}, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &move);
        QCOMPARE(move.isAccepted(), accepted);

        QSignalSpy opened(KanvoNotifications::defaultCenter(),
                          &KanvoNotifications::documentSessionChanged);
        QDropEvent drop(QPointF(205, 205), actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &drop);
        QCOMPARE(drop.isAccepted(), accepted);
        QCOMPARE(opened.count(), accepted ? 1 : 0);
    }

private:
    KanvoWorkspaceView* workspace() const {
        return qobject_cast<KanvoWorkspaceView*>(delegate_->window()->centralWidget());
    }

    QAction* action(const QString& text) const {
        const auto items = delegate_->window()->menuBar()->findChildren<QAction*>();
        const auto found = std::ranges::find(items, text, &QAction::text);
        return found == items.end() ? nullptr : *found;
    }

    // Texts of the alerts shown over the window.
    QStringList alerts() const {
        QStringList texts;
        for (const QMessageBox* box : delegate_->window()->findChildren<QMessageBox*>()) {
            texts << box->text() + (box->icon() == QMessageBox::Warning ? "" : " (not a warning)");
        }
        return texts;
    }

    // A solid PNG, whatever the name's extension says.
    QString writePng(const QString& name) const {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        return image.save(files_.filePath(name), "PNG") ? files_.filePath(name) : QString();
    }

    QString writeText(const QString& name) const {
        QFile file(files_.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write("plain text\n") > 0 ? file.fileName()
                                                                                 : QString();
    }

    QTemporaryDir files_;
    std::unique_ptr<KanvoAppDelegate> delegate_;
};

QTEST_MAIN(KanvoMainWindowTest)
#include "KanvoMainWindowTest.moc"
