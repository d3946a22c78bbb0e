#include "kit/KanvoStyle.h"

#include "kit/KanvoDeferredIcon.h"
#include "kit/KanvoSymbols.h"

QIcon KanvoStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                               const QWidget* widget) const {
    // Found when first drawn: the options and widget may be gone by then.
    const auto themed = [this, standardIcon](const char* name) {
        return KanvoDeferredIcon::make([this, standardIcon, name] {
            const QIcon icon = KanvoSymbols::icon(QString::fromLatin1(name));
            return icon.isNull() ? QProxyStyle::standardIcon(standardIcon) : icon;
        });
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
