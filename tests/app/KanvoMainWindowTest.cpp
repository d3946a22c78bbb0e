#include "app/KanvoAppDelegate.h"
#include "app/KanvoCommandLine.h"
#include "app/KanvoSessionBus.h"
#include "canvas/KanvoCanvasView.h"
#include "kanvo/ui/document_session.h"
#include "kit/KanvoNotifications.h"
#include "panels/KanvoWorkspaceView.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileOpenEvent>
#include <QImageReader>
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
        QVERIFY(image.save(files_.filePath("photo.png"), "PNG") &&
                image.save(files_.filePath("photo.txt"), "PNG"));
        QFile text(files_.filePath("notes.png"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("plain text\n") > 0);
        delegate_.applicationDidFinishLaunching();
        QVERIFY(QTest::qWaitForWindowExposed(delegate_.window()));
        workspace_ = static_cast<KanvoWorkspaceView*>(delegate_.window()->centralWidget());
    }

    void windowHasItsSizeAndTheDesignedMenu() {
        QCOMPARE(workspace_->size(), QSize(1500, 920));
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

    // Only a failure alerts; a cancelled dialog does nothing; a successful open shows the
    // image and a successful export writes it, with no alert.
    void commandsAlertOnlyOnFailure() {
        const QString exported = files_.filePath("out.png");
        run("Export As...", "out.png", "Kanvo could not export the current image.");
        QVERIFY(!QFile::exists(exported));
        run("Export As...", "", "");
        run("Open...", "notes.png", "Kanvo could not open that image.");
        run("Open...", "", "");
        run("Open...", "photo.png", "");
        QTRY_COMPARE(workspace_->canvas()->image().size(), QSize(64, 48));
        run("Export As...", "out.png", "");
        QImageReader written(exported);
        QCOMPARE((QList<QVariant>{written.format(), written.size()}),
                 (QList<QVariant>{QByteArray("png"), QSize(64, 48)}));
        delegate_.openFile(QUrl::fromLocalFile(files_.filePath("missing.png")));
        QCOMPARE(takeAlerts(), QStringList{"Kanvo could not open that image."});
        QFileOpenEvent openRequest(QUrl::fromLocalFile(files_.filePath("notes.png")));
        QApplication::sendEvent(qApp, &openRequest);
        QCOMPARE(takeAlerts(), QStringList{"Kanvo could not open that image."});
    }

    // `kanvo FILE`: a path relative to the folder Kanvo started in, an absolute path or a
    // file: URL names one local file; files beyond the first are set aside.
    void commandLineNamesOneLocalFile() {
        const auto parsed = [](const QStringList& arguments) {
            return KanvoCommandLine::parse(QStringList{"kanvo"} + arguments, "/home/ann/Pictures");
        };
        const auto file = [](const QString& path) {
            return std::optional(QUrl::fromLocalFile(path));
        };
        QCOMPARE(parsed({}).file, std::nullopt);
        QCOMPARE(parsed({"cat.png"}).file, file("/home/ann/Pictures/cat.png"));
        QCOMPARE(parsed({"../cat #2.jpg"}).file, file("/home/ann/cat #2.jpg"));
        QCOMPARE(parsed({"file:///tmp/a%20b.ppm"}).file, file("/tmp/a b.ppm"));
        QCOMPARE(parsed({"--", "-dash.png"}).file, file("/home/ann/Pictures/-dash.png"));
        const KanvoCommandLine several = parsed({"/tmp/a.png", "b.png", "c.png"});
        QCOMPARE(several.file, file("/tmp/a.png"));
        QCOMPARE(several.ignored, (QStringList{"b.png", "c.png"}));
        // Only text requests skip the display; after "--" they are file names.
        const auto textOnly = [](const QStringList& arguments) {
            return KanvoCommandLine::asksForTextOnly(QStringList{"kanvo"} + arguments);
        };
        QCOMPARE((QList<bool>{textOnly({"--version"}), textOnly({"a.png", "-h"}), textOnly({}),
                              textOnly({"a.png"}), textOnly({"--", "--help"})}),
                 (QList<bool>{true, true, false, false, false}));
        // Read before Qt takes its options out, a line is trusted only when it names one
        // file and nothing else, and then names the file parse() will.
        const auto plain = [](const QStringList& arguments) {
            return KanvoCommandLine::plainFile(QStringList{"kanvo"} + arguments,
                                               "/home/ann/Pictures");
        };
        for (const QString name : {"../cat #2.jpg", "file:///tmp/a%20b.ppm"}) {
            QCOMPARE(plain({name}), parsed({name}).file);
        }
        for (const QStringList& other : QList<QStringList>{
                 {}, {"-platform", "xcb", "a.png"}, {"--", "-dash.png"}, {"a.png", "b.png"}}) {
            QCOMPARE(plain(other), std::nullopt);
        }
    }

    // Acceptance is whatever header inspection says, and inspection picks its parser by the
    // name's extension: a PNG named .txt is refused as surely as text named .png.
    void dropIsJudgedByInspection() {
        for (const auto& [name, accepted] :
             {std::pair{"photo.txt", false}, {"notes.png", false}, {"photo.png", true}}) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(files_.filePath(name))});
            QDragEnterEvent enter({200, 200}, Qt::CopyAction, &data, Qt::LeftButton, {});
            QDropEvent drop(QPointF(200, 200), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(workspace_->canvas(), &enter);
            QApplication::sendEvent(workspace_->canvas(), &drop);
            QCOMPARE((QList<QVariant>{name, enter.isAccepted(), drop.isAccepted()}),
                     (QList<QVariant>{name, accepted, accepted}));
        }
        QVERIFY(workspace_->canvas()->session()->document() != nullptr);
    }

    // The session is marked as having no bus only where neither an address, a bus in the runtime
    // folder nor dbus-launch could give one: accessibility must keep every bus it can reach.
    void sessionBusIsMarkedAbsentOnlyWhereNoneCanBeHad() {
        const std::array names{"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "PATH"};
        QList<std::optional<QByteArray>> kept;
        for (const char* name : names) {
            kept << (qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        }
        QTemporaryDir bare;
        QTemporaryDir withBus;
        QTemporaryDir withLauncher;
        QVERIFY(QFile(withBus.filePath("bus")).open(QIODevice::WriteOnly));
        QFile launcher(withLauncher.filePath("dbus-launch"));
        QVERIFY(launcher.open(QIODevice::WriteOnly));
        QVERIFY(launcher.setPermissions(launcher.permissions() | QFile::ExeOwner));
        struct Case {
            QByteArray address, runtime, path, expected;
        };
        for (const auto& [address, runtimeFolder, pathFolder, expected] : {
                 Case{"unix:path=/run/user/1/bus", bare.path().toUtf8(), bare.path().toUtf8(),
                      "unix:path=/run/user/1/bus"},
                 Case{"", withBus.path().toUtf8(), bare.path().toUtf8(), ""},
                 Case{"", bare.path().toUtf8(), withLauncher.path().toUtf8(), ""},
                 Case{"", "", bare.path().toUtf8(), "disabled:"},
                 Case{"", bare.path().toUtf8(), bare.path().toUtf8(), "disabled:"},
             }) {
            qputenv("DBUS_SESSION_BUS_ADDRESS", address);
            qputenv("XDG_RUNTIME_DIR", runtimeFolder);
            qputenv("PATH", pathFolder);
            KanvoSessionBus::markAbsentWhereNoneCanBeHad();
            QCOMPARE(qgetenv("DBUS_SESSION_BUS_ADDRESS"), expected);
        }
        for (qsizetype i = 0; i < kept.size(); ++i) {
            kept[i] ? qputenv(names[i], *kept[i]) : qunsetenv(names[i]);
        }
    }

private:
    // Answers the command's file dialog with the file (none: cancel), cancelling it when it is
    // of the wrong kind for that file, then checks and closes the alert left, if any.
    void run(const QString& command, const QString& name, const QString& alert) {
        const QString path = name.isEmpty() ? QString() : files_.filePath(name);
        QTimer::singleShot(0, [path] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            const auto mode =
                QFile::exists(path) ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave;
            if (path.isEmpty() || dialog->acceptMode() != mode) {
                return dialog->reject();
            }
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
        });
        const auto actions = delegate_.window()->menuBar()->findChildren<QAction*>();
        (*std::ranges::find(actions, command, &QAction::text))->trigger();
        QCOMPARE(takeAlerts(), alert.isEmpty() ? QStringList() : QStringList{alert});
    }

    // The texts of the alerts left open, which it closes.
    QStringList takeAlerts() {
        QStringList alerts;
        for (QMessageBox* box : delegate_.window()->findChildren<QMessageBox*>()) {
            alerts << box->text() + (box->icon() == QMessageBox::Warning ? "" : " (not a warning)");
            delete box;
        }
        return alerts;
    }

    QTemporaryDir files_;
    KanvoAppDelegate delegate_;
    KanvoWorkspaceView* workspace_ = nullptr;
};

QTEST_MAIN(KanvoMainWindowTest)
#include "KanvoMainWindowTest.moc"
