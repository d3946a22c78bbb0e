#pragma once

#include <QWidget>

class QAbstractButton;
class QCheckBox;
class QLabel;

namespace kanvo::ui {
class DocumentSession;
}

// The options strip above the canvas. Only the zoom pill changes: it follows the document's
// zoom after every tool, document or viewport notification.
class KanvoTopBarView : public QWidget {
    Q_OBJECT
public:
    KanvoTopBarView(const QRectF& frame, kanvo::ui::DocumentSession* session, QWidget* parent);

    QLabel* zoomLabel() const { return zoomLabel_; }
    QLabel* toolLabel() const { return toolLabel_; }
    QLabel* hintLabel() const { return hintLabel_; }

    void refresh();

    // The zoom pill's text for a zoom factor: truncated, never rounded, so 0.29 reads "28%".
    static QString zoomText(double zoom);

private:
    QAbstractButton* icon(const QString& symbol, double x);
    QCheckBox* checkbox(const QString& title, double x, bool checked);
    QLabel* pill(const QString& text, double x, double width);

    kanvo::ui::DocumentSession* session_;
    QLabel* toolLabel_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QLabel* zoomLabel_ = nullptr;
};
