#pragma once

#include <cstdint>
#include <string>

namespace kanvo::ui {

enum class AlignGuideOrientation : std::int32_t {
    Vertical = 0,
    Horizontal = 1,
};

// A guide line in document pixels. A vertical guide lies at x = position and
// runs from y = start to y = end; a horizontal one the other way round.
struct AlignGuide {
    AlignGuideOrientation orientation = AlignGuideOrientation::Vertical;
    double position = 0.0;
    double start = 0.0;
    double end = 0.0;
    // "center" when centres were aligned, empty when edges were.
    std::string label;

    bool operator==(const AlignGuide&) const = default;
};

} // namespace kanvo::ui
