#include "kit/KanvoDeferredIcon.h"

QIcon KanvoDeferredIcon::make(std::function<QIcon()> find) {
    return QIcon(new KanvoDeferredIcon(std::move(find)));
}

KanvoDeferredIcon::KanvoDeferredIcon(std::function<QIcon()> find) : find_(std::move(find)) {}

const QIcon& KanvoDeferredIcon::found() {
    if (!found_) {
        found_ = find_();
    }
    return *found_;
}

void KanvoDeferredIcon::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
                              QIcon::State state) {
    found().paint(painter, rect, Qt::AlignCenter, mode, state);
}

QSize KanvoDeferredIcon::actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return found().actualSize(size, mode, state);
}

QPixmap KanvoDeferredIcon::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return found().pixmap(size, 1.0, mode, state);
}

// `size` is in device pixels here, as QIcon asks for a pixmap at a ratio.
QPixmap KanvoDeferredIcon::scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                                        qreal scale) {
    return found().pixmap(size / scale, scale, mode, state);
}

QList<QSize> KanvoDeferredIcon::availableSizes(QIcon::Mode mode, QIcon::State state) {
    return found().availableSizes(mode, state);
}

bool KanvoDeferredIcon::isNull() {
    return found().isNull();
}

QIconEngine* KanvoDeferredIcon::clone() const {
    return new KanvoDeferredIcon(*this);
}
