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

struct MenuItem {
    QString menu;
    QString title;
    QKeySequence shortcut;
};

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
        const QList<MenuItem> expected = {
            {"Kanvo", "Quit Kanvo", QKeySequence("Ctrl+Q")},
            {"File", "Open...", QKeySequence("Ctrl+O")},
            {"File", "Export As...", QKeySequence("Ctrl+E")},
            {"View", "Fit to Screen", QKeySequence("Ctrl+0")},
        };
        QList<MenuItem> actual;
        const QList<QAction*> menus = delegate_->window()->menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        for (QAction* menuAction : menus) {
            QVERIFY(menuAction->menu() != nullptr);
            for (QAction* item : menuAction->menu()->actions()) {
                QVERIFY2(!item->isSeparator(), "the menus have no separators");
                actual.append({menuAction->text(), item->text(), item->shortcut()});
            }
        }
        QCOMPARE(actual.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QCOMPARE(actual[i].menu, expected[i].menu);
            QCOMPARE(actual[i].title, expected[i].title);
            QCOMPARE(actual[i].shortcut, expected[i].shortcut);
        }
        QCOMPARE(menus.first()->menu()->actions().first()->menuRole(), QAction::QuitRole);
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

    void failedCommandsShowTheirAlert_data() {
        QTest::addColumn<bool>("exporting");
        QTest::addColumn<QString>("message");
        QTest::newRow("open-text-named-png") << false << "Kanvo could not open that image.";
        QTest::newRow("export-before-any-image")
            << true << "Kanvo could not export the current image.";
    }

    void failedCommandsShowTheirAlert() {
        QFETCH(bool, exporting);
        QFETCH(QString, message);
        const QString path =
            exporting ? files_.filePath("out.png")
                      : apptest::writeText(files_, "notes.png", "plain text, not an image\n");
        answerNextFileDialog([path](QFileDialog* dialog) { choose(dialog, path); });
        exporting ? delegate_->exportDocument() : delegate_->openDocument();

        const QList<QMessageBox*> alerts = openAlerts();
        QCOMPARE(alerts.size(), 1);
        QMessageBox* alert = alerts.first();
        QCOMPARE(alert->text(), message);
        QCOMPARE(alert->icon(), QMessageBox::Warning);
        QCOMPARE(alert->standardButtons(), QMessageBox::Ok);
        QVERIFY(alert->informativeText().isEmpty());
        QCOMPARE(alert->windowModality(), Qt::WindowModal);
        QCOMPARE(alert->parentWidget(), delegate_->window());
        QVERIFY(!QFile::exists(files_.filePath("out.png")));
    }

    void cancelledDialogsShowNothing() {
        QSignalSpy session(KanvoNotifications::defaultCenter(),
                           &KanvoNotifications::documentSessionChanged);
        answerNextFileDialog([](QFileDialog* dialog) { dialog->reject(); });
        delegate_->openDocument();
        answerNextFileDialog([](QFileDialog* dialog) { dialog->reject(); });
        delegate_->exportDocument();
        QVERIFY(openAlerts().isEmpty());
        QCOMPARE(session.count(), 0);
    }

    void dialogsOfferTheImageTypes() {
        QStringList openFilters;
        answerNextFileDialog([&](QFileDialog* dialog) {
            openFilters = dialog->nameFilters();
            QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
            dialog->reject();
        });
        delegate_->openDocument();
        QStringList exportFilters;
        QString exportName;
        answerNextFileDialog([&](QFileDialog* dialog) {
            exportFilters = dialog->nameFilters();
            exportName = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            dialog->reject();
        });
        delegate_->exportDocument();
        QCOMPARE(openFilters, QStringList{"Images (*.png *.jpg *.jpeg *.ppm)"});
        QCOMPARE(exportFilters, QStringList{"Images (*.png *.jpg *.jpeg)"});
        QCOMPARE(exportName, QStringLiteral("Untitled.png"));
    }

    void openedImageExportsWithoutAlert() {
        const QString source = apptest::writePng(files_, "photo.png", {64, 48}, Qt::darkCyan);
        QSignalSpy session(KanvoNotifications::defaultCenter(),
                           &KanvoNotifications::documentSessionChanged);
        answerNextFileDialog([source](QFileDialog* dialog) { choose(dialog, source); });
        delegate_->openDocument();
        QVERIFY(openAlerts().isEmpty());
        // Opening posts once; the decoded pixels arriving post again.
        QTRY_COMPARE(session.count(), 2);

        const QString target = files_.filePath("copy.jpg");
        answerNextFileDialog([target](QFileDialog* dialog) { choose(dialog, target); });
        delegate_->exportDocument();
        QVERIFY(openAlerts().isEmpty());
        QCOMPARE(QImage(target).size(), QSize(64, 48));
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
