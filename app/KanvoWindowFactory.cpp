#include "app/KanvoWindowFactory.h"

#include "app/KanvoImageDrop.h"
#include "canvas/KanvoCanvasView.h"
#include "kit/KanvoColors.h"
#include "panels/KanvoWorkspaceView.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWindow>

namespace {

constexpr int contentWidth = 1500;
constexpr int contentHeight = 920;

// Moves the window by its background: a left press that no widget took,
// having travelled up to the window, starts a move by the window system.
class KanvoBackgroundDrag : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonPress ||
            static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) {
            return false;
        }
        QWindow* window = static_cast<QWidget*>(watched)->windowHandle();
        return window != nullptr && window->startSystemMove();
    }
};

} // namespace

QMainWindow* KanvoWindowFactory::makeWindow(QMenuBar* mainMenu) {
    auto* window = new QMainWindow;
    window->setWindowTitle(QStringLiteral("Kanvo 2026"));
    QPalette background = window->palette();
    background.setColor(QPalette::Window, KanvoColors::white(0.9));
    window->setPalette(background);
    window->installEventFilter(new KanvoBackgroundDrag(window));

    window->setMenuBar(mainMenu);
    auto* workspace = new KanvoWorkspaceView(QRectF(0, 0, contentWidth, contentHeight), nullptr);
    window->setCentralWidget(workspace);
    new KanvoImageDrop(workspace->canvas());

    // A menu bar inside the window sits above the content and adds to its height.
    const int menuHeight = mainMenu->isNativeMenuBar() ? 0 : mainMenu->sizeHint().height();
    window->resize(contentWidth, contentHeight + menuHeight);
    return window;
}

void KanvoWindowFactory::startDecodingForCanvas(const QUrl& file, qreal devicePixelRatio) {
    KanvoCanvasView::startDecoding(
        file, KanvoWorkspaceView::canvasFrame({contentWidth, contentHeight}).size(),
        devicePixelRatio);
}
