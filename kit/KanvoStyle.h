#pragma once

#include <QProxyStyle>

// The platform's own style, with the menu bar's overflow arrows taken from
// the icon theme. Qt's built-in arrows are PNG files read through
// QImageReader, whose first use loads every image-format plugin installed
// (and their codec libraries): several milliseconds of start-up spent on a
// button that only shows when the menus do not fit.
class KanvoStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
