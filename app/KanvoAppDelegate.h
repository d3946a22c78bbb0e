#pragma once

#include <QObject>
#include <QUrl>
#include <memory>

class KanvoWorkspaceView;
class QMainWindow;

// Runs the application's life: builds the menu and the one main window at
// launch, carries out the menu commands on the window's workspace, and does
// the last chores when the application quits.
class KanvoAppDelegate : public QObject {
    Q_OBJECT
public:
    KanvoAppDelegate();
    ~KanvoAppDelegate() override;

    QMainWindow* window() const { return window_.get(); }

    // Menu, window, centring, then showing it in front.
    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    void openDocument();
    // Opens `file` as the open dialog does, with the same alert on failure.
    void openFile(const QUrl& file);
    void exportDocument();
    void fitToScreen();
    // A warning with an OK button, modal to the main window only.
    void showError(const QString& message);

protected:
    // A file the desktop asks Kanvo to open while it runs (macOS's
    // open-document event, which Qt delivers to the application object).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KanvoWorkspaceView* workspace() const;
    std::unique_ptr<QMainWindow> window_;
};
