#include "kit/KanvoSymbols.h"

#include <QHash>
#include <QStandardPaths>
#include <QStringList>

namespace {

// Symbol name -> Breeze icon name, for the symbols the panels and the
// shipped tools use.
const QHash<QString, QString>& symbolTable() {
    static const QHash<QString, QString> table{
        {"house.fill", "go-home"},
        {"plus.magnifyingglass", "zoom-in"},
        {"minus.magnifyingglass", "zoom-out"},
        {"magnifyingglass", "edit-find"},
        {"align.horizontal.left", "align-horizontal-left"},
        {"align.horizontal.center", "align-horizontal-center"},
        {"align.horizontal.right", "align-horizontal-right"},
        {"align.vertical.top", "align-vertical-top"},
        {"align.vertical.center", "align-vertical-center"},
        {"align.vertical.bottom", "align-vertical-bottom"},
        {"link", "insert-link"},
        {"fx", "tools-wizard"},
        {"circle", "draw-ellipse"},
        {"plus.square", "list-add"},
        {"trash", "edit-delete"},
        {"square.grid.3x3", "view-grid"},
        {"arrow.up.and.down.and.arrow.left.and.right", "transform-move"},
        {"hand.raised", "hand"},
        {"crop", "transform-crop"},
    };
    return table;
}

QIcon themeIcon(const QString& themeName) {
    return QIcon::hasThemeIcon(themeName) ? QIcon::fromTheme(themeName) : QIcon();
}

} // namespace

QIcon KanvoSymbols::icon(const QString& name) {
    if (name.isEmpty()) {
        return {};
    }
    const auto mapped = symbolTable().constFind(name);
    if (mapped != symbolTable().constEnd()) {
        if (QIcon icon = themeIcon(*mapped); !icon.isNull()) {
            return icon;
        }
    }
    return themeIcon(name);
}

void KanvoSymbols::installIconTheme() {
    QStringList paths = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, "icons",
                                                  QStandardPaths::LocateDirectory);
    paths << QStringLiteral("/usr/share/icons") << QStringLiteral(":/icons");
    paths.removeDuplicates();
    QIcon::setThemeSearchPaths(paths);
    QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
    QIcon::setThemeName(QStringLiteral("breeze"));
}
