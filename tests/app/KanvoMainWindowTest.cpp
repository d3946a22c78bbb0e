#include "AppTestFiles.h"
#include "app/KanvoAppDelegate.h"
#include "kit/KanvoNotifications.h"
#include "panels/KanvoWorkspaceView.h"

#include <QApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

namespace {

// Answers the next file dialog once its event loop runs, as a user would.
void answerNextFileDialog(std::function<void(QFileDialog*)> answer) {
    QTimer::singleShot(0, [answer = std::move(answer)] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY2(dialog != nullptr, "no file dialog is open");
        answer(dialog);
    });
}

void choose(QFileDialog* dialog, const QString& path) {
    dialog->selectFile(path);
    static_cast<QDialog*>(dialog)->accept();
}

QList<QMessageBox*> openAlerts() {
    QList<QMessageBox*> alerts;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
            alerts.append(box);
        }
    }
    return alerts;
}

} // namespace

class KanvoMainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(files_.isValid());
        delegate_ = std::make_unique<KanvoAppDelegate>();
        delegate_->applicationDidFinishLaunching();
        QVERIFY(QTest::qWaitForWindowExposed(delegate_->window()));
    }

    void cleanup() {
        for (QMessageBox* alert : openAlerts()) {
            alert->close();
        }
        delegate_.reset();
    }

    void windowHasTitleContentSizeAndBackground() {
        QMainWindow* window = delegate_->window();
        QCOMPARE(window->windowTitle(), QStringLiteral("Kanvo 2026"));
        auto* workspace = qobject_cast<KanvoWorkspaceView*>(window->centralWidget());
        QVERIFY(workspace != nullptr);
        QCOMPARE(workspace->size(), QSize(1500, 920));
        QCOMPARE(window->palette().color(QPalette::Window), QColor::fromRgbF(0.9, 0.9, 0.9));
        QVERIFY(QApplication::quitOnLastWindowClosed());
    }

    void menuHasExactlyTheDesignedItems() {
        QStringList items;
        for (QAction* menu : delegate_->window()->menuBar()->actions()) {
            QVERIFY(menu->menu() != nullptr);
            for (QAction* item : menu->menu()->actions()) {
                items.append(QStringList{menu->text(), item->text(),
                                         item->shortcut().toString(QKeySequence::PortableText)}
                                 .join(" | "));
            }
        }
        const QStringList expected = {
            "Kanvo | Quit Kanvo | Ctrl+Q",
            "File | Open... | Ctrl+O",
            "File | Export As... | Ctrl+E",
            "View | Fit to Screen | Ctrl+0",
        };
        QCOMPARE(items, expected);
        QAction* quit =
            delegate_->window()->menuBar()->actions().first()->menu()->actions().first();
        QCOMPARE(quit->menuRole(), QAction::QuitRole);
    }

    void quittingEndsTheEventLoopOnce_data() {
        QTest::addColumn<bool>("closeWindow");
        QTest::newRow("close-main-window") << true;
        QTest::newRow("quit-menu-item") << false;
    }

    void quittingEndsTheEventLoopOnce() {
        QFETCH(bool, closeWindow);
        QMainWindow* window = delegate_->window();
        QAction* quit = window->menuBar()->actions().first()->menu()->actions().first();
        QTimer::singleShot(0, window,
                           [=] { closeWindow ? void(window->close()) : quit->trigger(); });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QApplication::exit(1); });
        guard.start(5000);
        QSignalSpy aboutToQuit(qApp, &QCoreApplication::aboutToQuit);
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(aboutToQuit.count(), 1);
    }

    void fitShortcutReachesTheCanvas() {
        QSignalSpy viewport(KanvoNotifications::defaultCenter(),
                            &KanvoNotifications::viewportChanged);
        QMainWindow* window = delegate_->window();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(viewport.count(), 1);
    }

    // Only a failure alerts; cancelling a dialog or opening a good image shows nothing.
    void commandsAlertOnlyOnFailure_data() {
        QTest::addColumn<bool>("exporting");
        QTest::addColumn<QString>("chosenPath");
        QTest::addColumn<QString>("alert");
        const QString text = apptest::writeText(files_, "notes.png", "plain text, not an image\n");
        const QString png = apptest::writePng(files_, "photo.png", {64, 48}, Qt::darkCyan);
        QTest::newRow("open-text-named-png") << false << text << "Kanvo could not open that image.";
        QTest::newRow("open-png") << false << png << "";
        QTest::newRow("open-cancelled") << false << ""
                                        << "";
        QTest::newRow("export-before-any-image")
            << true << files_.filePath("out.png") << "Kanvo could not export the current image.";
        QTest::newRow("export-cancelled") << true << ""
                                          << "";
    }

    void commandsAlertOnlyOnFailure() {
        QFETCH(bool, exporting);
        QFETCH(QString, chosenPath);
        QFETCH(QString, alert);
        answerNextFileDialog([chosenPath](QFileDialog* dialog) {
            chosenPath.isEmpty() ? dialog->reject() : choose(dialog, chosenPath);
        });
        exporting ? delegate_->exportDocument() : delegate_->openDocument();

        const QList<QMessageBox*> alerts = openAlerts();
        QCOMPARE(alerts.size(), alert.isEmpty() ? 0 : 1);
        if (!alert.isEmpty()) {
            QMessageBox* box = alerts.first();
            QCOMPARE(box->text(), alert);
            QCOMPARE(box->icon(), QMessageBox::Warning);
            QCOMPARE(box->standardButtons(), QMessageBox::Ok);
            QVERIFY(box->informativeText().isEmpty());
            QCOMPARE(box->windowModality(), Qt::WindowModal);
            QCOMPARE(box->parentWidget(), delegate_->window());
        }
    }

private:
    QTemporaryDir files_;
    std::unique_ptr<KanvoAppDelegate> delegate_;
};

int main(int argc, char* argv[]) {
    // Qt's own dialog widgets, so the test can answer them on every desktop.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication application(argc, argv);
    KanvoMainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "KanvoMainWindowTest.moc"
