#pragma once

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

// Never fails: an unreadable file yields a manifest whose fields are empty,
// and lines it cannot use are skipped.
ToolManifest parseToolManifest(const std::filesystem::path& path);

} // namespace kanvo::ui
