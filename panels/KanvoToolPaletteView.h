#pragma once

#include "panels/KanvoToolLoader.h"

#include <QList>
#include <QWidget>

class QKeyEvent;
class KanvoToolButton;

namespace kanvo::ui {
class DocumentSession;
}

// The tool column at the left of the window. Clicking a tool's button or typing its shortcut
// anywhere in the application (while no text is being edited) selects the tool in the session.
class KanvoToolPaletteView : public QWidget {
    Q_OBJECT
public:
    // Loads the shipped tools.
    KanvoToolPaletteView(const QRectF& frame, kanvo::ui::DocumentSession* session, QWidget* parent);
    KanvoToolPaletteView(const QRectF& frame, kanvo::ui::DocumentSession* session,
                         const QList<KanvoToolRecord>& tools, QWidget* parent);

    // In palette order, which is also the order in which shortcuts are matched.
    const QList<KanvoToolButton*>& buttons() const { return buttons_; }

    void selectTool(KanvoToolButton* button);
    // True when the key press was a tool shortcut and has been acted on.
    bool handleKey(const QKeyEvent& event);
    void refreshSelection();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    kanvo::ui::DocumentSession* session_;
    QList<KanvoToolButton*> buttons_;
};
