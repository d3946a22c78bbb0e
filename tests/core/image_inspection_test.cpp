#include "image_bytes.h"
#include "kanvo/ui/image_inspection.h"
#include "temp_dir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <ostream>
#include <stdexcept>

namespace kanvo::ui {
namespace {

using namespace kanvo::test;
namespace fs = std::filesystem;

enum class Entry { File, Missing, Directory, SymlinkToFile, DanglingSymlink };

struct InspectionCase {
    const char* name;
    const char* fileName;
    std::string bytes;
    // Either the message of the expected failure, or the expected header.
    std::string error;
    std::string format = {};
    std::size_t width = 0;
    std::size_t height = 0;
    Entry entry = Entry::File;
};

// A decoy frame hidden in a segment body: a reader that treats RST or TEM
// markers as length-less, or tables as frames, reports 32 x 16.
const std::string decoyFrame = jpegSegment(0xC0, jpegFrameBody(32, 16));
const std::string realFrame = jpegSegment(0xC1, jpegFrameBody(640, 480));

const InspectionCase cases[] = {
    {"png_reads_ihdr_size", "photo.png", pngBytes(640, 480), "", "PNG", 640, 480},
    {"png_size_is_unsigned_32_bit", "big.png", pngBytes(0xFFFFFFFF, 0x80000000), "", "PNG",
     0xFFFFFFFF, 0x80000000},
    {"png_through_symlink", "link.png", pngBytes(3, 4), "", "PNG", 3, 4, Entry::SymlinkToFile},
    {"png_truncated_header", "short.png", pngBytes(640, 480).substr(0, 20),
     "PNG header is incomplete"},
    {"png_bad_signature", "photo.png", "\x88" + pngBytes(640, 480).substr(1),
     "invalid PNG signature"},
    {"png_first_chunk_not_ihdr", "photo.png", pngBytes(640, 480, "IDAT"),
     "PNG is missing IHDR metadata"},

    {"jpeg_app0_dqt_sof2", "photo.jpg", jpegBytes(640, 480, 0xC2), "", "JPEG", 640, 480},
    {"jpeg_extension_mixed_case", "photo.JpEg", jpegBytes(640, 480), "", "JPEG", 640, 480},
    {"jpeg_fill_bytes_before_marker", "fill.jpg",
     jpegStart + "\xFF\xFF\xFF\xFF" + jpegSegment(0xC0, jpegFrameBody(640, 480)).substr(1), "",
     "JPEG", 640, 480},
    {"jpeg_junk_between_segments_skipped", "junk.jpg", jpegStart + "junk" + realFrame, "", "JPEG",
     640, 480},
    {"jpeg_standalone_markers_carry_a_length", "rst.jpg",
     jpegStart + jpegSegment(0x01, decoyFrame) + jpegSegment(0xD0, decoyFrame) + realFrame, "",
     "JPEG", 640, 480},
    {"jpeg_zero_height_accepted", "dnl.jpg", jpegBytes(640, 0), "", "JPEG", 640, 0},
    {"jpeg_named_file_with_png_bytes", "photo.jpg", pngBytes(640, 480), "invalid JPEG signature"},
    {"jpeg_only_start_marker", "soi.jpg", jpegStart, "JPEG dimensions were not found"},
    {"jpeg_scan_before_frame", "sos.jpg", jpegStart + jpegSegment(0xDA, "xx") + realFrame,
     "JPEG dimensions were not found"},
    {"jpeg_seek_past_end", "seek.jpg", jpegStart + "\xFF\xE1\xFF\xF0" + "exif",
     "JPEG dimensions were not found"},
    {"jpeg_length_one", "len1.jpg", jpegStart + std::string("\xFF\xE0\x00\x01", 4) + realFrame,
     "JPEG segment has invalid size"},
    {"jpeg_truncated_length", "len.jpg", jpegStart + "\xFF\xE0\x01", "JPEG segment is incomplete"},
    {"jpeg_ends_in_fill_bytes", "fill.jpg", jpegStart + "\xFF\xFF\xFF",
     "JPEG segment is incomplete"},
    {"jpeg_truncated_frame", "frame.jpg", jpegStart + realFrame.substr(0, 7),
     "JPEG frame is incomplete"},

    {"ppm_one_token_per_line", "photo.ppm", ppmBytes("P6\n640\n480\n255\n"), "", "PPM", 640, 480},
    {"ppm_ascii_p3_refused", "photo.ppm", "P3\n2 2\n255\n0 0 0",
     "only binary PPM P6 images are supported"},
    {"ppm_zero_width", "photo.ppm", ppmBytes("P6 0 480 255\n"), "PPM dimensions must be positive"},
    {"ppm_comment_not_supported", "photo.ppm", ppmBytes("P6\n# by hand\n640 480\n255\n"),
     "PPM dimensions must be positive"},
    {"ppm_sixteen_bit", "photo.ppm", ppmBytes("P6 640 480 65535\n"),
     "only 8-bit PPM images are supported"},
    {"ppm_missing_max_value", "photo.ppm", "P6 640 480", "only 8-bit PPM images are supported"},

    {"extension_jfif_refused", "photo.jfif", jpegBytes(640, 480),
     "supported image formats: PNG, JPEG, PPM"},
    {"no_extension_refused", "photo", pngBytes(640, 480),
     "supported image formats: PNG, JPEG, PPM"},
    {"name_only_dot_png_has_no_extension", ".png", pngBytes(640, 480),
     "supported image formats: PNG, JPEG, PPM"},
    {"missing_path_checked_before_extension", "missing.webp", "", "image path does not exist", "",
     0, 0, Entry::Missing},
    {"dangling_symlink", "dangling.png", "", "image path does not exist", "", 0, 0,
     Entry::DanglingSymlink},
    {"directory_named_like_image", "folder.png", "", "image path is not a file", "", 0, 0,
     Entry::Directory},
};

void PrintTo(const InspectionCase& c, std::ostream* os) {
    *os << c.name;
}

class InspectImageFile : public testing::TestWithParam<InspectionCase> {};

fs::path makeEntry(const TempDir& dir, const InspectionCase& c) {
    const fs::path path = dir.path() / c.fileName;
    switch (c.entry) {
    case Entry::File:
        dir.write(c.fileName, c.bytes);
        break;
    case Entry::Missing:
        break;
    case Entry::Directory:
        fs::create_directory(path);
        break;
    case Entry::SymlinkToFile:
        fs::create_symlink(dir.write("target.bin", c.bytes), path);
        break;
    case Entry::DanglingSymlink:
        fs::create_symlink(dir.path() / "nowhere.png", path);
        break;
    }
    return path;
}

TEST_P(InspectImageFile, ReadsHeaderOrFailsWithItsMessage) {
    const InspectionCase& c = GetParam();
    TempDir dir;
    const fs::path path = makeEntry(dir, c);
    if (!c.error.empty()) {
        try {
            inspectImageFile(path);
            FAIL() << "expected: " << c.error;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), c.error);
        }
        return;
    }
    const ImageInfo info = inspectImageFile(path);
    EXPECT_EQ(info.path, path);
    EXPECT_EQ(info.format, c.format);
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
}

INSTANTIATE_TEST_SUITE_P(Cases, InspectImageFile, testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Every code from C0 to CF is tried as the first segment: only frame markers
// may be read as the frame, the others must be skipped to the real one.
TEST(InspectImageFileJpeg, OnlyFrameMarkersCarryTheSize) {
    TempDir dir;
    for (unsigned code = 0xC0; code <= 0xCF; ++code) {
        const bool isFrame = code != 0xC4 && code != 0xC8 && code != 0xCC;
        const auto path = dir.write("marker.jpg", jpegStart + decoyFrame.substr(0, 1) + char(code) +
                                                      decoyFrame.substr(2) + realFrame);
        const ImageInfo info = inspectImageFile(path);
        EXPECT_EQ(info.width, isFrame ? 32u : 640u) << std::hex << code;
    }
}

// Permission bits do not stop the superuser, so fall back to a kernel file
// that is write-only even for it.
TEST(InspectImageFileOpen, UnreadableFileCannotBeOpened) {
    TempDir dir;
    fs::path path = dir.write("locked.png", pngBytes(1, 1));
    fs::permissions(path, fs::perms::none);
    if (std::ifstream(path).good()) {
        path = "/proc/sys/vm/compact_memory";
        if (!fs::is_regular_file(path) || std::ifstream(path).good()) {
            GTEST_SKIP() << "no unreadable regular file available";
        }
    }
    try {
        inspectImageFile(path);
        FAIL() << "expected a failure to open";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "could not open image");
    }
}

} // namespace
} // namespace kanvo::ui
