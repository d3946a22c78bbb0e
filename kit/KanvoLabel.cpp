#include "kit/KanvoLabel.h"

#include "kit/KanvoColors.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

void KanvoElidingLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}

QLabel* KanvoLabel::text(const QString& text, double size, QFont::Weight weight) {
    auto* label = new KanvoElidingLabel(text);
    label->setFont(font(size, weight));
    setTextColor(label, KanvoColors::label());
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

QFont KanvoLabel::font(double size, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(qRound(size));
    font.setWeight(weight);
    return font;
}

void KanvoLabel::setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}
