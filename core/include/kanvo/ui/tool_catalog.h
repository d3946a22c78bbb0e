#pragma once

#include "kanvo/ui/tool_manifest.h"

#include <filesystem>
#include <vector>

namespace kanvo::ui {

class ToolCatalog {
public:
    // The manifests of every directory directly under `root` that holds a
    // "tool.txt", in byte order of their paths. Throws
    // std::filesystem::filesystem_error when `root` cannot be listed.
    std::vector<ToolManifest> load(const std::filesystem::path& root) const;
};

} // namespace kanvo::ui
