#include "kanvo/ui/tool_manifest.h"

#include <fstream>
#include <sstream>
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

// The whole file, or nothing when it is no regular file (opening a FIFO
// blocks, a device may never end) or is larger than any manifest.
std::string manifestText(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return {};
    }
    std::ifstream file(path, std::ios::binary);
    std::string text(largestToolManifestBytes + 1, '\0');
    file.read(text.data(), std::streamsize(text.size()));
    text.resize(std::size_t(file.gcount()));
    return text.size() > largestToolManifestBytes ? std::string() : text;
}

} // namespace

ToolManifest parseToolManifest(const std::filesystem::path& path) {
    ToolManifest manifest;
    std::istringstream in(manifestText(path));
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
