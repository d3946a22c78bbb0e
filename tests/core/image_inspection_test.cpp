#include "image_bytes.h"
#include "kanvo/ui/image_inspection.h"
#include "temp_dir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <tuple>

namespace kanvo::ui {
namespace {

using namespace kanvo::test;
namespace fs = std::filesystem;

// "PNG 640x480" when the header is read, otherwise the failure's message.
std::string outcome(const fs::path& path) {
    try {
        const ImageInfo info = inspectImageFile(path);
        EXPECT_EQ(info.path, path);
        return info.format + " " + std::to_string(info.width) + "x" + std::to_string(info.height);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
}

const std::string realFrame = jpegSegment(0xC1, jpegFrameBody(640, 480));
const char* const notFound = "JPEG dimensions were not found";

const std::tuple<const char*, const char*, std::string, std::string> cases[] = {
    {"png_32_bit_size", "a.png", pngBytes(0xFFFFFFFF, 0x80000000), "PNG 4294967295x2147483648"},
    {"png_truncated_header", "a.png", pngBytes(640, 480).substr(0, 20), "PNG header is incomplete"},
    {"png_bad_signature", "a.png", "\x88" + pngBytes(640, 480).substr(1), "invalid PNG signature"},
    {"png_first_chunk_not_ihdr", "a.png", pngBytes(64, 48, "IDAT"), "PNG is missing IHDR metadata"},

    {"jpeg_app0_dqt_sof2_mixed_case_name", "a.JpEg", jpegBytes(640, 480, 0xC2), "JPEG 640x480"},
    {"jpeg_fill_bytes_before_marker", "a.jpg", jpegStart + "\xFF\xFF\xFF" + realFrame,
     "JPEG 640x480"},
    {"jpeg_junk_between_segments", "a.jpg", jpegStart + "junk" + realFrame, "JPEG 640x480"},
    {"jpeg_zero_height_accepted", "a.jpg", jpegBytes(640, 0), "JPEG 640x0"},
    {"jpeg_chosen_by_name_not_bytes", "a.jpg", pngBytes(640, 480), "invalid JPEG signature"},
    {"jpeg_only_start_marker", "a.jpg", jpegStart, notFound},
    {"jpeg_seek_past_end", "a.jpg", jpegStart + "\xFF\xE1\xFF\xF0" + "exif", notFound},
    {"jpeg_length_one", "a.jpg", jpegStart + std::string("\xFF\xE0\x00\x01", 4) + realFrame,
     "JPEG segment has invalid size"},
    {"jpeg_truncated_length", "a.jpg", jpegStart + "\xFF\xE0\x01", "JPEG segment is incomplete"},
    {"jpeg_ends_in_fill_bytes", "a.jpg", jpegStart + "\xFF\xFF\xFF", "JPEG segment is incomplete"},
    {"jpeg_short_frame", "a.jpg", jpegStart + realFrame.substr(0, 7), "JPEG frame is incomplete"},

    {"ppm_one_token_per_line", "a.ppm", ppmBytes("P6\n640\n480\n255\n"), "PPM 640x480"},
    {"ppm_ascii_p3", "a.ppm", "P3\n2 2\n255\n0 0 0", "only binary PPM P6 images are supported"},
    {"ppm_zero_width", "a.ppm", "P6 0 480 255\n", "PPM dimensions must be positive"},
    {"ppm_comment", "a.ppm", "P6\n# by hand\n640 480\n255\n", "PPM dimensions must be positive"},
    {"ppm_16_bit", "a.ppm", "P6 640 480 65535\n", "only 8-bit PPM images are supported"},
    {"ppm_missing_max_value", "a.ppm", "P6 640 480", "only 8-bit PPM images are supported"},

    {"extension_jfif", "a.jfif", jpegBytes(640, 480), "supported image formats: PNG, JPEG, PPM"},
    {"no_extension", "photo", pngBytes(640, 480), "supported image formats: PNG, JPEG, PPM"},
    {"dot_png_only", ".png", pngBytes(640, 480), "supported image formats: PNG, JPEG, PPM"},
};

TEST(InspectImageFile, ReadsHeaderOrFailsWithItsMessage) {
    TempDir dir;
    for (const auto& [fault, name, bytes, expected] : cases) {
        EXPECT_EQ(outcome(dir.write(name, bytes)), expected) << fault;
    }
}

// The first segment's body is a 32 x 16 frame header followed by a whole
// 32 x 16 frame segment. Frame markers read the first; every other code,
// the stand-alone ones included, carries a length and is skipped to the real
// frame; a reader that takes a stand-alone marker as length-less finds the
// hidden segment. End of image and start of scan end the walk.
TEST(InspectImageFile, EachJpegMarkerIsReadAsFrameSkippedOrEndsTheWalk) {
    TempDir dir;
    const std::string body = jpegFrameBody(32, 16) + jpegSegment(0xC0, jpegFrameBody(32, 16));
    for (unsigned code = 0; code < 0xFF; ++code) {
        const bool frame = (code & 0xF0) == 0xC0 && code != 0xC4 && code != 0xC8 && code != 0xCC;
        const bool end = code == 0xD9 || code == 0xDA;
        const std::string expected = frame ? "JPEG 32x16" : end ? notFound : "JPEG 640x480";
        const auto path = dir.write("a.jpg", jpegStart + jpegSegment(code, body) + realFrame);
        EXPECT_EQ(outcome(path), expected) << std::hex << code;
    }
}

// The entry is checked before the name: links are followed, and a missing
// path is missing whatever its extension.
TEST(InspectImageFile, ChecksTheEntryFirst) {
    TempDir dir;
    fs::create_symlink(dir.write("target.bin", pngBytes(3, 4)), dir.path() / "link.png");
    fs::create_symlink(dir.path() / "nowhere.png", dir.path() / "dangling.png");
    fs::create_directory(dir.path() / "folder.png");
    EXPECT_EQ(outcome(dir.path() / "link.png"), "PNG 3x4");
    EXPECT_EQ(outcome(dir.path() / "dangling.png"), "image path does not exist");
    EXPECT_EQ(outcome(dir.path() / "missing.webp"), "image path does not exist");
    EXPECT_EQ(outcome(dir.path() / "folder.png"), "image path is not a file");

    // Permission bits do not stop the superuser: fall back to a kernel file
    // that is write-only even for it.
    fs::path locked = dir.write("locked.png", pngBytes(1, 1));
    fs::permissions(locked, fs::perms::none);
    if (std::ifstream(locked).good()) {
        locked = "/proc/sys/vm/compact_memory";
    }
    if (!fs::is_regular_file(locked) || std::ifstream(locked).good()) {
        GTEST_SKIP() << "no unreadable regular file available";
    }
    EXPECT_EQ(outcome(locked), "could not open image");
}

} // namespace
} // namespace kanvo::ui
