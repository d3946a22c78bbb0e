#include "kanvo/ui/tool_manifest.h"

#include <fstream>
#include <string_view>

namespace kanvo::ui {

namespace {

std::string* fieldForKey(ToolManifest& manifest, std::string_view key) {
    if (key == "id") {
        return &manifest.id;
    }
    if (key == "label") {
        return &manifest.label;
    }
    if (key == "icon" || key == "symbol") {
        return &manifest.icon;
    }
    if (key == "shortcut") {
        return &manifest.shortcut;
    }
    return nullptr;
}

} // namespace

ToolManifest parseToolManifest(const std::filesystem::path& path) {
    ToolManifest manifest;
    // A file that cannot be opened simply yields no lines.
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        // Key and value are taken as they stand: a stray space or a CR from a
        // Windows line ending makes a key unrecognised or stays in the value.
        if (std::string* field = fieldForKey(manifest, std::string_view(line).substr(0, equals))) {
            field->assign(line, equals + 1);
        }
    }
    return manifest;
}

} // namespace kanvo::ui
