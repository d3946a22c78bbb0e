#pragma once

#include <QIcon>
#include <QIconEngine>
#include <functional>
#include <optional>

// An icon found only when it is first drawn or measured. Widgets that are
// made hidden, such as the menu bar's overflow button, take their icon as
// they are built; finding it in the icon theme then reads the theme's index
// and loads the SVG renderer before the window's first paint, for a button
// that may never show.
class KanvoDeferredIcon : public QIconEngine {
public:
    static QIcon make(std::function<QIcon()> find);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    bool isNull() override;
    QIconEngine* clone() const override;

private:
    explicit KanvoDeferredIcon(std::function<QIcon()> find);
    const QIcon& found();

    std::function<QIcon()> find_;
    std::optional<QIcon> found_;
};
