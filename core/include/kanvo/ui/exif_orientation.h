#pragma once

#include <cstdint>
#include <span>

namespace kanvo::ui {

// How a camera says its picture must be turned to stand upright: the EXIF
// orientation tag, 1 (as stored) to 8. Anything unreadable counts as 1.
using ExifOrientation = int;

// Whether an APP1 segment's body (after its length field) is an Exif block:
// it starts with "Exif\0\0". Other APP1 blocks (XMP) carry no orientation.
bool isExifBlock(std::span<const std::uint8_t> app1Body);

// The orientation in the body of an APP1 segment (after its length field):
// "Exif\0\0" and a TIFF header whose first directory holds tag 0x0112.
// 1 for any other segment, a missing tag or a value outside 1 to 8.
ExifOrientation exifOrientation(std::span<const std::uint8_t> app1Body);

// The orientation of a JPEG file in memory: the first Exif APP1 segment
// before the frame header, as header inspection reads it.
ExifOrientation jpegOrientation(std::span<const std::uint8_t> file);

// Orientations 5 to 8 turn the picture a quarter: width and height swap.
constexpr bool swapsWidthAndHeight(ExifOrientation orientation) {
    return orientation >= 5 && orientation <= 8;
}

} // namespace kanvo::ui
