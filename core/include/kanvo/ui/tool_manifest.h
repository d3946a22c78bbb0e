#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace kanvo::ui {

// One tool of the palette, as described by its "tool.txt". Values are the
// file's bytes between the first "=" and the end of the line, untrimmed.
struct ToolManifest {
    std::string id;
    std::string label;
    std::string icon; // set by "icon" or its synonym "symbol"
    std::string shortcut;

    bool operator==(const ToolManifest&) const = default;
};

// A manifest is a few short lines; a larger file is taken for none.
inline constexpr std::size_t largestToolManifestBytes = 64 * 1024;

// Never fails: a file that is unreadable, not a regular file (after links)
// or larger than largestToolManifestBytes yields a manifest whose fields are
// empty, and lines it cannot use are skipped.
ToolManifest parseToolManifest(const std::filesystem::path& path);

} // namespace kanvo::ui
