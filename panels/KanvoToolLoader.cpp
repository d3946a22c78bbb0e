#include "panels/KanvoToolLoader.h"

#include "kanvo/ui/tool_catalog.h"
#include "kit/KanvoResources.h"

#include <QFile>
#include <QtDebug>
#include <filesystem>

QList<KanvoToolRecord> KanvoToolLoader::loadTools() {
    return loadTools(KanvoResources::directory() + QStringLiteral("/tools"));
}

QList<KanvoToolRecord> KanvoToolLoader::loadTools(const QString& toolsFolder) {
    std::vector<kanvo::ui::ToolManifest> manifests;
    try {
        manifests = kanvo::ui::ToolCatalog{}.load(QFile::encodeName(toolsFolder).toStdString());
    } catch (const std::filesystem::filesystem_error& error) {
        qWarning().noquote() << "Kanvo: no tools loaded from" << toolsFolder << "-" << error.what();
        return {};
    }

    // fromStdString decodes UTF-8 and substitutes U+FFFD for every invalid sequence.
    QList<KanvoToolRecord> tools;
    tools.reserve(qsizetype(manifests.size()));
    for (const auto& manifest : manifests) {
        tools.append({QString::fromStdString(manifest.id), QString::fromStdString(manifest.label),
                      QString::fromStdString(manifest.icon),
                      QString::fromStdString(manifest.shortcut)});
    }
    return tools;
}
