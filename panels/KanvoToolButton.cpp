#include "panels/KanvoToolButton.h"

#include "kit/KanvoColors.h"
#include "kit/KanvoGlyphCache.h"

#include <QPainter>

namespace {

constexpr QSize kSymbolSize(18, 18);
// The fallback shows at the smaller size a symbol has when nothing configures it.
constexpr QSize kFallbackSize(15, 15);
constexpr double kCornerRadius = 9.0;

} // namespace

KanvoToolButton::KanvoToolButton(const QString& toolId, const QString& label, const QString& icon,
                                 const QString& shortcut, QWidget* parent)
    : QAbstractButton(parent), toolId_(toolId), shortcut_(shortcut) {
    resize(38, 34);
    // Clicking a tool must leave the keyboard focus where it was, normally on the canvas.
    setFocusPolicy(Qt::NoFocus);

    KanvoGlyphCache& glyphs = KanvoGlyphCache::shared();
    QString symbol = icon;
    glyphSize_ = kSymbolSize;
    plainGlyph_ = glyphs.tinted(symbol, KanvoColors::label(), glyphSize_);
    if (plainGlyph_.isNull()) {
        symbol = QStringLiteral("square.grid.3x3");
        glyphSize_ = kFallbackSize;
        plainGlyph_ = glyphs.tinted(symbol, KanvoColors::label(), glyphSize_);
    }
    selectedGlyph_ = glyphs.tinted(symbol, Qt::white, glyphSize_);

    setAccessibleName(label);
    setAccessibleDescription(label);
    setToolTip(shortcut.isEmpty() ? label : QStringLiteral("%1 (%2)").arg(label, shortcut));
    setCheckable(true);
}

void KanvoToolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isChecked()) {
        QColor border(Qt::white);
        border.setAlphaF(0.5f);
        painter.setPen(QPen(border, 1.0));
        painter.setBrush(KanvoColors::accent());
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius,
                                kCornerRadius);
    }
    const QIcon& glyph = isChecked() ? selectedGlyph_ : plainGlyph_;
    const QRect glyphRect(
        QPoint((width() - glyphSize_.width()) / 2, (height() - glyphSize_.height()) / 2),
        glyphSize_);
    glyph.paint(&painter, glyphRect);
}
