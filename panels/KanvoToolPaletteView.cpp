#include "panels/KanvoToolPaletteView.h"

#include "kanvo/ui/document_session.h"
#include "kit/KanvoColors.h"
#include "kit/KanvoFrame.h"
#include "kit/KanvoLabel.h"
#include "kit/KanvoNotifications.h"
#include "panels/KanvoToolButton.h"
#include "panels/KanvoToolPaletteLayout.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

bool isTextInput(const QWidget* widget) {
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        return combo->isEditable();
    }
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget);
}

// An application filter sees a key press once for every object it travels through: the window,
// the focus widget, then each parent that ignores it. Only the focus widget's turn counts (the
// window's own widget when nothing has focus), so each press is handled exactly once.
QWidget* firstKeyReceiver(QObject* receiver) {
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (!widget) {
        return nullptr;
    }
    const QWidget* focus = widget->window()->focusWidget();
    const bool first = focus ? focus == widget : widget->isWindow();
    return first ? widget : nullptr;
}

} // namespace

KanvoToolPaletteView::KanvoToolPaletteView(const QRectF& frame, kanvo::ui::DocumentSession* session,
                                           QWidget* parent)
    : KanvoToolPaletteView(frame, session, KanvoToolLoader::loadTools(), parent) {}

KanvoToolPaletteView::KanvoToolPaletteView(const QRectF& frame, kanvo::ui::DocumentSession* session,
                                           const QList<KanvoToolRecord>& tools, QWidget* parent)
    : QWidget(parent), session_(session) {
    KanvoFrame::place(this, frame);

    const KanvoToolPaletteLayout layout = layoutToolPalette(tools.size(), height());
    for (const QRectF& line : layout.separators) {
        auto* separator = new QFrame(this);
        separator->setFrameStyle(QFrame::HLine | QFrame::Plain);
        KanvoLabel::setTextColor(separator, KanvoColors::panelStroke());
        KanvoFrame::place(separator, line);
    }
    for (qsizetype i = 0; i < tools.size(); ++i) {
        const KanvoToolRecord& tool = tools[i];
        auto* button = new KanvoToolButton(tool.id, tool.label, tool.icon, tool.shortcut, this);
        KanvoFrame::place(button, layout.buttons[i]);
        connect(button, &QAbstractButton::clicked, this, [this, button] { selectTool(button); });
        buttons_.append(button);
    }
    refreshSelection();

    qApp->installEventFilter(this);
}

void KanvoToolPaletteView::selectTool(KanvoToolButton* button) {
    if (!session_) {
        return;
    }
    session_->selectTool(button->toolId().toStdString());
    refreshSelection();
    emit KanvoNotifications::defaultCenter()->toolSelectionChanged(this);
}

bool KanvoToolPaletteView::handleKey(const QKeyEvent& event) {
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return false;
    }
    // Keys without text (arrows, function keys) never stand for a shortcut, not even an empty one.
    const QString key = event.text().toUpper();
    if (key.isEmpty()) {
        return false;
    }
    for (KanvoToolButton* button : std::as_const(buttons_)) {
        if (button->shortcut().toUpper() == key) {
            selectTool(button);
            return true;
        }
    }
    return false;
}

void KanvoToolPaletteView::refreshSelection() {
    const QString current =
        session_ ? QString::fromStdString(session_->selectedToolId()) : QString();
    for (KanvoToolButton* button : std::as_const(buttons_)) {
        button->setSelectedTool(button->toolId() == current);
    }
}

bool KanvoToolPaletteView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || QApplication::activePopupWidget()) {
        return false;
    }
    const QWidget* receiver = firstKeyReceiver(watched);
    if (!receiver || isTextInput(receiver)) {
        return false;
    }
    return handleKey(static_cast<const QKeyEvent&>(*event));
}
