#pragma once

#include "kanvo/ui/align_guide.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kanvo::ui {

// One entry of the layer stack. The layer covers the document rectangle from
// (x, y) to (x + width, y + height).
struct Layer {
    std::uint64_t id = 0;
    std::string name;
    std::filesystem::path source_path;
    std::size_t width = 0;
    std::size_t height = 0;
    bool visible = true;
    double opacity = 1.0;
    double x = 0.0;
    double y = 0.0;

    bool operator==(const Layer&) const = default;
};

struct Canvas {
    std::size_t width = 0;
    std::size_t height = 0;

    bool operator==(const Canvas&) const = default;
};

// Zoom is a factor on top of the fitted view (1.0 shows the whole image);
// the offsets are a pan in view points.
struct Viewport {
    double zoom = 1.0;
    double offset_x = 0.0;
    double offset_y = 0.0;

    bool operator==(const Viewport&) const = default;
};

struct CropBounds {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
    bool active = false;

    bool operator==(const CropBounds&) const = default;
};

struct Document {
    std::filesystem::path path;
    Canvas canvas;
    Viewport viewport;
    CropBounds crop;
    std::vector<AlignGuide> align_guides;
    std::vector<Layer> layers; // stack order, index 0 first
    std::uint64_t active_layer_id = 0;

    bool operator==(const Document&) const = default;
};

} // namespace kanvo::ui
