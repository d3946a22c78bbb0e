#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace kanvo::ui {

struct ImageInfo {
    std::filesystem::path path;
    std::string format; // "PNG", "JPEG" or "PPM"
    std::size_t width = 0;
    std::size_t height = 0;
};

// Reads the pixel size of a PNG, JPEG or binary PPM file from its header,
// choosing the parser by the file extension. Throws std::runtime_error with a
// fixed message when the file is not an image the editor accepts.
ImageInfo inspectImageFile(const std::filesystem::path& path);

} // namespace kanvo::ui
