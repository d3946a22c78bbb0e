#pragma once

#include <QFont>
#include <QLabel>

// A label that ends in an ellipsis at the right when its text is wider than
// the label, instead of cutting the last glyph.
class KanvoElidingLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class KanvoLabel {
public:
    // A new read-only label in the theme's text colour with the application
    // font at the given pixel size and weight; the caller sets its geometry.
    static QLabel* text(const QString& text, double size, QFont::Weight weight);

    // The application font at a pixel size (sizes match the layout on every
    // screen) and weight.
    static QFont font(double size, QFont::Weight weight = QFont::Normal);

    // Gives a label, check box or frame line its text or line colour.
    static void setTextColor(QWidget* widget, const QColor& color);
};
