#include "panels/KanvoIconTint.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>

QIcon tintedIcon(const QIcon& icon, const QColor& tint, QSize size) {
    if (icon.isNull()) {
        return {};
    }
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap glyph = icon.pixmap(size, ratio);
    QPainter painter(&glyph);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(glyph.rect(), tint);
    painter.end();
    return QIcon(glyph);
}
