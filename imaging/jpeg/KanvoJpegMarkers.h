#pragma once

#include <QtGlobal>
#include <optional>
#include <span>

// Where a JPEG's frame and coded data lie, found by walking its markers as
// libjpeg walks them, with every segment's length checked against the file.
namespace KanvoJpegMarkers {

struct Layout {
    // The offset of the first frame header's height field; -1 when no frame
    // header comes before the scan.
    qsizetype frameHeight = -1;
    qsizetype dataOffset = 0; // just past the first SOS segment
};

// Empty when the file does not start a JPEG or a segment runs past its end
// before the first scan.
std::optional<Layout> find(std::span<const uchar> file);

} // namespace KanvoJpegMarkers
