#include "kanvo/ui/tool_catalog.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <ostream>

namespace kanvo::ui {

void PrintTo(const ToolManifest& m, std::ostream* os) {
    *os << "{id='" << m.id << "' label='" << m.label << "' icon='" << m.icon << "' shortcut='"
        << m.shortcut << "'}";
}

namespace {

using namespace kanvo::test;
namespace fs = std::filesystem;

struct ManifestCase {
    const char* name;
    std::string text;
    ToolManifest expected;
};

const ManifestCase manifestCases[] = {
    {"empty_file", "", {}},
    {"all_four_keys",
     "id=move\nlabel=Move\nicon=arrow\nshortcut=v\n",
     {"move", "Move", "arrow", "v"}},
    {"space_before_equals_is_part_of_key", "id = move\n", {}},
    {"value_keeps_leading_space", "id= move\n", {" move", "", "", ""}},
    {"only_first_equals_splits", "label=a=b\n", {"", "a=b", "", ""}},
    {"keys_are_case_sensitive", "ID=move\nLabel=Move\n", {}},
    {"empty_value_clears_earlier_one", "id=move\nid=\n", {}},
    {"line_without_equals_ignored", "just some words\n", {}},
    {"empty_key_ignored", "=move\n", {}},
    {"hash_starts_an_unknown_key", "#id=move\n", {}},
    {"windows_line_end_kept_in_value", "id=move\r\nlabel=Move\r\n", {"move\r", "Move\r", "", ""}},
    {"symbol_after_icon_wins", "icon=a\nsymbol=b\n", {"", "", "b", ""}},
    {"icon_after_symbol_wins", "symbol=b\nicon=a\n", {"", "", "a", ""}},
    {"last_id_wins", "id=one\nid=two\n", {"two", "", "", ""}},
    {"last_line_without_newline", "id=hand\nshortcut=h", {"hand", "", "", "h"}},
    {"bytes_pass_through", "label=\xC3\xA9\xFF\n", {"", "\xC3\xA9\xFF", "", ""}},
};

void PrintTo(const ManifestCase& c, std::ostream* os) {
    *os << c.name;
}

class ParseToolManifest : public testing::TestWithParam<ManifestCase> {};

TEST_P(ParseToolManifest, AppliesLineRules) {
    TempDir dir;
    EXPECT_EQ(parseToolManifest(dir.write("tool.txt", GetParam().text)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseToolManifest, testing::ValuesIn(manifestCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseToolManifestFile, UnreadablePathsGiveEmptyManifest) {
    TempDir dir;
    EXPECT_EQ(parseToolManifest(dir.path() / "missing.txt"), ToolManifest{});
    EXPECT_EQ(parseToolManifest(dir.path()), ToolManifest{});
}

std::vector<std::string> idsOf(const std::vector<ToolManifest>& tools) {
    std::vector<std::string> ids;
    for (const auto& tool : tools) {
        ids.push_back(tool.id);
    }
    return ids;
}

TEST(ToolCatalog, OrdersToolsByDirectoryNameBytes) {
    TempDir dir;
    for (const char* name : {"b", "a", "10", "9", "Zoom", "ab"}) {
        dir.write(fs::path(name) / "tool.txt", std::string("id=") + name);
    }
    EXPECT_EQ(idsOf(ToolCatalog{}.load(dir.path())),
              (std::vector<std::string>{"10", "9", "Zoom", "a", "ab", "b"}));
}

TEST(ToolCatalog, CollectsOnlyDirectManifestsThatExist) {
    TempDir dir;
    const fs::path root = dir.path() / "tools";
    dir.write("tools/move/tool.txt", "id=move");
    dir.write("tools/readme.txt", "id=not-a-tool");
    fs::create_directories(root / "empty");
    dir.write("tools/nested/inner/tool.txt", "id=too-deep");
    fs::create_directories(root / "dangling");
    fs::create_symlink(dir.path() / "nowhere.txt", root / "dangling" / "tool.txt");
    dir.write("elsewhere/hand/tool.txt", "id=hand");
    fs::create_directory_symlink(dir.path() / "elsewhere" / "hand", root / "linked");
    fs::create_directories(root / "odd" / "tool.txt");
    dir.write("tools/twin/tool.txt", "id=move");
    dir.write("tools/unnamed/tool.txt", "label=No id");

    EXPECT_EQ(idsOf(ToolCatalog{}.load(root)),
              (std::vector<std::string>{"hand", "move", "", "move", ""}));
}

TEST(ToolCatalog, RootThatCannotBeListedThrows) {
    TempDir dir;
    EXPECT_THROW(ToolCatalog{}.load(dir.path() / "missing"), fs::filesystem_error);
    EXPECT_THROW(ToolCatalog{}.load(dir.write("file", "")), fs::filesystem_error);
}

} // namespace
} // namespace kanvo::ui
