#include "image_bytes.h"
#include "kanvo/ui/exif_orientation.h"
#include "kanvo/ui/image_inspection.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <tuple>

namespace kanvo::ui {
namespace {

using namespace kanvo::test;

std::span<const std::uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(ExifOrientation, ReadsTheTagOrFallsBackToUpright) {
    const std::tuple<const char*, std::string, ExifOrientation> cases[] = {
        {"big_endian_6", exifBody(6), 6},
        {"little_endian_8", exifBody(8, true), 8},
        {"every_value_kept", exifBody(5, true), 5},
        {"zero_is_upright", exifBody(0), 1},
        {"nine_is_upright", exifBody(9), 1},
        {"not_a_short", exifBody(6, false, 0x0112, 4), 1},
        {"other_tag_only", exifBody(6, false, 0x0110), 1},
        {"truncated_directory", exifBody(6).substr(0, 20), 1},
        {"directory_offset_outside", "Exif\0\0MM\0\x2A\xFF\xFF\xFF\xF0"s, 1},
        {"bad_byte_order", "Exif\0\0XX\0\x2A\0\0\0\x08"s, 1},
        {"other_app1_block", "http://ns.example.org/metadata/\0"s + exifBody(6), 1},
    };
    for (const auto& [fault, body, expected] : cases) {
        EXPECT_EQ(exifOrientation(bytesOf(body)), expected) << fault;
    }
}

// Inspection and the in-memory walk agree on every file: the first Exif block
// before the frame counts, and tags 5 to 8 report the upright size.
TEST(ExifOrientation, HeaderSizeIsUprightAndTheWalksAgree) {
    const std::string frame = jpegSegment(0xC0, jpegFrameBody(640, 480));
    const std::string scan = "\xFF\xDA\0\x02\xFF\xD9"s;
    const std::tuple<const char*, std::string, ExifOrientation, const char*> cases[] = {
        {"no_exif", jpegStart + frame + scan, 1, "JPEG 640x480"},
        {"rotated_quarter", jpegStart + jpegSegment(0xE1, exifBody(6)) + frame + scan, 6,
         "JPEG 480x640"},
        {"mirrored_only", jpegStart + jpegSegment(0xE1, exifBody(2, true)) + frame + scan, 2,
         "JPEG 640x480"},
        {"other_app1_then_exif",
         jpegStart + jpegSegment(0xE1, "http://ns.example.org/metadata/\0"s) +
             jpegSegment(0xE1, exifBody(8)) + frame + scan,
         8, "JPEG 480x640"},
        {"first_exif_wins",
         jpegStart + jpegSegment(0xE1, exifBody(1)) + jpegSegment(0xE1, exifBody(6)) + frame + scan,
         1, "JPEG 640x480"},
        {"exif_after_frame_ignored", jpegStart + frame + jpegSegment(0xE1, exifBody(6)) + scan, 1,
         "JPEG 640x480"},
    };
    TempDir dir;
    for (const auto& [fault, file, orientation, size] : cases) {
        EXPECT_EQ(jpegOrientation(bytesOf(file)), orientation) << fault;
        const ImageInfo info = inspectImageFile(dir.write("a.jpg", file));
        EXPECT_EQ(info.format + " " + std::to_string(info.width) + "x" +
                      std::to_string(info.height),
                  size)
            << fault;
    }
}

} // namespace
} // namespace kanvo::ui
