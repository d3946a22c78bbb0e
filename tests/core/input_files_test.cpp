#include "image_bytes.h"
#include "kanvo/ui/image_inspection.h"
#include "kanvo/ui/tool_catalog.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>

namespace kanvo::ui {
namespace {

using namespace kanvo::test;
namespace fs = std::filesystem;

// "PNG 640x480" when the header is read, otherwise the failure's message.
std::string outcome(const fs::path& path) {
    try {
        const ImageInfo info = inspectImageFile(path);
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
    {"png_ihdr_length_not_13", "a.png", pngBytes(64, 48).replace(11, 1, "\x0C"),
     "PNG IHDR has invalid size"},

    {"jpeg_sof2_zero_height_mixed_case_name", "a.JpEg", jpegBytes(640, 0, 0xC2), "JPEG 640x0"},
    {"jpeg_junk_and_fill_skipped", "a.jpg", jpegStart + "junk\xFF\xFF" + realFrame, "JPEG 640x480"},
    {"jpeg_chosen_by_name_not_bytes", "a.jpg", pngBytes(640, 480), "invalid JPEG signature"},
    {"jpeg_seek_past_end", "a.jpg", jpegStart + "\xFF\xE1\xFF\xF0" + "exif", notFound},
    {"jpeg_length_one", "a.jpg", jpegStart + "\xFF\xE0\0\x01"s, "JPEG segment has invalid size"},
    {"jpeg_truncated_length", "a.jpg", jpegStart + "\xFF\xE0\x01", "JPEG segment is incomplete"},
    {"jpeg_short_frame", "a.jpg", jpegStart + realFrame.substr(0, 7), "JPEG frame is incomplete"},
    {"jpeg_frame_segment_shorter_than_its_sizes", "a.jpg",
     jpegStart + "\xFF\xC0\0\x02"s + realFrame, "JPEG frame is incomplete"},

    {"ppm_ascii_p3", "a.ppm", "P3\n2 2\n255\n0 0 0", "only binary PPM P6 images are supported"},
    {"ppm_comment", "a.ppm", "P6\n# by hand\n640 480\n255\n", "PPM dimensions must be positive"},
    {"ppm_16_bit", "a.ppm", "P6 640 480 65535\n", "only 8-bit PPM images are supported"},
    {"ppm_64_bit_size", "a.ppm", "P6 18446744073709551615 1 255\n", "PPM 18446744073709551615x1"},
    {"ppm_size_past_64_bits", "a.ppm", "P6 18446744073709551616 1 255\n",
     "PPM dimensions must be positive"},
    {"ppm_negative_size_not_wrapped", "a.ppm", "P6 -1 -1 255\n", "PPM dimensions must be positive"},
    {"ppm_signed_max_value", "a.ppm", "P6 640 480 +255\n", "only 8-bit PPM images are supported"},

    {"dot_png_only", ".png", pngBytes(640, 480), "supported image formats: PNG, JPEG, PPM"},

    {"link_followed", "link.png", "", "PNG 3x4"},
    {"dangling_link_missing", "dangling.png", "", "image path does not exist"},
    {"missing_before_name_checks", "missing.webp", "", "image path does not exist"},
    {"directory_not_a_file", "folder.png", "", "image path is not a file"},
};

// While it lasts the process may open no file; querying a file's status needs no
// descriptor, so inspection gets as far as opening the file, as root too.
class NoFreeDescriptors {
public:
    NoFreeDescriptors() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        const rlimit none{0, saved_.rlim_max};
        setrlimit(RLIMIT_NOFILE, &none);
    }
    ~NoFreeDescriptors() { setrlimit(RLIMIT_NOFILE, &saved_); }
    NoFreeDescriptors(const NoFreeDescriptors&) = delete;
    NoFreeDescriptors& operator=(const NoFreeDescriptors&) = delete;

private:
    rlimit saved_{};
};

// Rows without bytes name the entries made first.
TEST(InspectImageFile, ReadsHeaderOrFailsWithItsMessage) {
    TempDir dir;
    fs::create_symlink(dir.write("target.bin", pngBytes(3, 4)), dir.path() / "link.png");
    fs::create_symlink(dir.path() / "nowhere.png", dir.path() / "dangling.png");
    fs::create_directory(dir.path() / "folder.png");
    for (const auto& [fault, name, bytes, expected] : cases) {
        const fs::path path = bytes.empty() ? dir.path() / name : dir.write(name, bytes);
        EXPECT_EQ(outcome(path), expected) << fault;
    }
    const fs::path image = dir.write("a.png", pngBytes(640, 480));
    const NoFreeDescriptors limit;
    EXPECT_EQ(outcome(image), "could not open image") << "open_fails_after_status";
}

// The first segment hides a 32 x 16 frame segment after its own frame header:
// frame codes read the header, every other code (stand-alone ones too) skips
// the whole segment to the real frame, and end of image or scan ends the walk.
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

// "id|label|icon|shortcut", so a failing row shows every field.
std::string fieldsOf(const ToolManifest& m) {
    return m.id + "|" + m.label + "|" + m.icon + "|" + m.shortcut;
}

TEST(ParseToolManifest, AppliesLineRules) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"cr_kept_last_line_open", "id=move\r\nlabel=Move\r\nshortcut=v", "move\r|Move\r||v"},
        {"value_untrimmed_and_split_at_first_equals", "id= move\nlabel=a=b\n", " move|a=b||"},
        {"keys_untrimmed_case_sensitive_and_not_empty", "id = a\nID=b\n=c\n#id=d\nwords\n", "|||"},
        {"last_occurrence_wins_even_when_empty", "id=one\nid=two\nlabel=x\nlabel=\n", "two|||"},
        {"symbol_after_icon_wins", "icon=a\nsymbol=b\n", "||b|"},
        {"icon_after_symbol_wins", "symbol=b\nicon=a\n", "||a|"},
    };
    TempDir dir;
    for (const auto& [fault, text, fields] : cases) {
        EXPECT_EQ(fieldsOf(parseToolManifest(dir.write("tool.txt", text))), fields) << fault;
    }
}

// /dev/zero never ends and a FIFO would block the open: neither is read.
TEST(ParseToolManifest, ReadsOnlyRegularFilesUpToTheLimit) {
    TempDir dir;
    const std::string line = "id=big\n";
    const std::string fits = line + std::string(largestToolManifestBytes - line.size(), '#');
    EXPECT_EQ(parseToolManifest(dir.write("fits.txt", fits)).id, "big");
    EXPECT_EQ(parseToolManifest(dir.write("over.txt", fits + "#")).id, "");

    fs::create_symlink("/dev/zero", dir.path() / "zero.txt");
    const fs::path fifo = dir.path() / "fifo.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& path : {dir.path() / "zero.txt", fifo}) {
        EXPECT_EQ(parseToolManifest(path), ToolManifest{}) << path;
    }
}

// Names sort by bytes (digits, capitals, a prefix first); a tool.txt of any type
// directly in an entry counts, through links; duplicates and empty ids stay.
// A tool.txt whose status cannot be read (a loop of links) is left out.
TEST(ToolCatalog, CollectsDirectManifestsInNameByteOrderOrThrows) {
    TempDir dir;
    const fs::path root = dir.path() / "tools";
    for (const char* name : {"b", "a", "10", "9", "Zoom"}) {
        dir.write(fs::path("tools") / name / "tool.txt", std::string("id=") + name);
    }
    dir.write("tools/ab/tool.txt", "id=9");
    dir.write("tools/readme.txt", "id=not-a-tool");
    dir.write("tools/nested/inner/tool.txt", "id=too-deep");
    fs::create_directories(root / "dangling");
    fs::create_symlink(dir.path() / "nowhere.txt", root / "dangling" / "tool.txt");
    fs::create_directory_symlink(dir.write("elsewhere/tool.txt", "id=hand").parent_path(),
                                 root / "linked");
    fs::create_directories(root / "odd" / "tool.txt");
    fs::create_directories(root / "loop");
    fs::create_symlink("tool.txt", root / "loop" / "tool.txt");

    std::string ids;
    for (const auto& tool : ToolCatalog{}.load(root)) {
        ids += tool.id + ",";
    }
    EXPECT_EQ(ids, "10,9,Zoom,a,9,b,hand,,");

    EXPECT_THROW(ToolCatalog{}.load(dir.path() / "missing"), fs::filesystem_error);
}

} // namespace
} // namespace kanvo::ui
