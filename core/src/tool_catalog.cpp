#include "kanvo/ui/tool_catalog.h"

#include <algorithm>

namespace kanvo::ui {

std::vector<ToolManifest> ToolCatalog::load(const std::filesystem::path& root) const {
    std::vector<std::filesystem::path> manifestPaths;
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        // exists() follows links, so a linked tool directory counts; a plain
        // file makes the candidate's parent not a directory, which is absence.
        // One whose status cannot be read (a loop of links, a folder not
        // searchable) is left out rather than failing the whole catalog.
        auto candidate = entry.path() / "tool.txt";
        std::error_code unreadable;
        if (std::filesystem::exists(candidate, unreadable)) {
            manifestPaths.push_back(std::move(candidate));
        }
    }
    std::ranges::sort(manifestPaths);

    std::vector<ToolManifest> manifests;
    manifests.reserve(manifestPaths.size());
    for (const auto& manifestPath : manifestPaths) {
        manifests.push_back(parseToolManifest(manifestPath));
    }
    return manifests;
}

} // namespace kanvo::ui
