#include "kit/KanvoStyle.h"

#include "kit/KanvoSymbols.h"

QIcon KanvoStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                               const QWidget* widget) const {
    const auto themed = [&](const char* name) {
        const QIcon icon = KanvoSymbols::icon(QString::fromLatin1(name));
        return icon.isNull() ? QProxyStyle::standardIcon(standardIcon, option, widget) : icon;
    };
    switch (standardIcon) {
    case SP_ToolBarHorizontalExtensionButton:
        return themed("arrow-right-double");
    case SP_ToolBarVerticalExtensionButton:
        return themed("arrow-down-double");
    default:
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    }
}
