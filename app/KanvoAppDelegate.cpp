#include "app/KanvoAppDelegate.h"

#include "app/KanvoMenuBuilder.h"
#include "app/KanvoWindowFactory.h"
#include "canvas/KanvoCanvasView.h"
#include "generate/KanvoSDBackend.h"
#include "panels/KanvoWorkspaceView.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileOpenEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <optional>

namespace {

// The chosen file, or nothing when the dialog was cancelled.
std::optional<QUrl> chosenFile(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedUrls().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedUrls().constFirst();
}

} // namespace

KanvoAppDelegate::KanvoAppDelegate() {
    QApplication::setQuitOnLastWindowClosed(true);
    connect(qApp, &QCoreApplication::aboutToQuit, this,
            &KanvoAppDelegate::applicationWillTerminate);
    qApp->installEventFilter(this);
}

KanvoAppDelegate::~KanvoAppDelegate() = default;

void KanvoAppDelegate::applicationDidFinishLaunching() {
    // The menu comes first; the window adopts it as its menu bar.
    window_.reset(KanvoWindowFactory::makeWindow(KanvoMenuBuilder::makeMainMenu(this)));
    const QRect screen = window_->screen()->availableGeometry();
    window_->move(screen.center() - window_->rect().center());
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void KanvoAppDelegate::applicationWillTerminate() {
    KanvoSDBackend::unloadCheckpointSync();
}

void KanvoAppDelegate::openDocument() {
    QFileDialog dialog(window_.get());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("Images (*.png *.jpg *.jpeg *.ppm)"));
    // The choice is known as Return is pressed, before the dialog has closed
    // and handed it back: decoding starts then, and the open joins it.
    KanvoCanvasView* canvas = workspace()->canvas();
    connect(&dialog, &QFileDialog::fileSelected, canvas, [canvas](const QString& file) {
        const QUrl url = QUrl::fromLocalFile(file);
        KanvoCanvasView::startDecoding(url, canvas->size(), canvas->devicePixelRatioF());
    });
    if (const std::optional<QUrl> file = chosenFile(dialog)) {
        openFile(*file);
    }
}

void KanvoAppDelegate::openFile(const QUrl& file) {
    if (!workspace()->openImageURL(file)) {
        showError(QStringLiteral("Kanvo could not open that image."));
    }
}

bool KanvoAppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::FileOpen && window_) {
        openFile(static_cast<QFileOpenEvent*>(event)->url());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void KanvoAppDelegate::exportDocument() {
    QFileDialog dialog(window_.get());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Images (*.png *.jpg *.jpeg)"));
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.selectFile(QStringLiteral("Untitled.png"));
    const std::optional<QUrl> file = chosenFile(dialog);
    if (file && !workspace()->exportImageURL(*file)) {
        showError(QStringLiteral("Kanvo could not export the current image."));
    }
}

void KanvoAppDelegate::fitToScreen() {
    workspace()->fitCanvasToScreen();
}

void KanvoAppDelegate::showError(const QString& message) {
    auto* alert =
        new QMessageBox(QMessageBox::Warning, QString(), message, QMessageBox::Ok, window_.get());
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->open();
}

KanvoWorkspaceView* KanvoAppDelegate::workspace() const {
    return static_cast<KanvoWorkspaceView*>(window_->centralWidget());
}
