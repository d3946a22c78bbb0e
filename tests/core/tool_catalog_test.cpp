#include "kanvo/ui/tool_catalog.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <tuple>

namespace kanvo::ui {
namespace {

using namespace kanvo::test;
namespace fs = std::filesystem;

// "id|label|icon|shortcut", so a failing row shows every field.
std::string fieldsOf(const ToolManifest& m) {
    return m.id + "|" + m.label + "|" + m.icon + "|" + m.shortcut;
}

TEST(ParseToolManifest, AppliesLineRules) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"all_four_keys", "id=move\nlabel=Move\nicon=arrow\nshortcut=v\n", "move|Move|arrow|v"},
        {"space_before_equals_is_part_of_key", "id = move\n", "|||"},
        {"value_keeps_leading_space", "id= move\n", " move|||"},
        {"only_first_equals_splits", "label=a=b\n", "|a=b||"},
        {"keys_are_case_sensitive", "ID=move\nLabel=Move\n", "|||"},
        {"empty_value_clears_earlier_one", "id=move\nid=\n", "|||"},
        {"lines_without_a_known_key_ignored", "just words\n=move\n#id=move\n", "|||"},
        {"windows_line_end_kept_in_value", "id=move\r\nlabel=Move\r\n", "move\r|Move\r||"},
        {"symbol_after_icon_wins", "icon=a\nsymbol=b\n", "||b|"},
        {"icon_after_symbol_wins", "symbol=b\nicon=a\n", "||a|"},
        {"last_id_wins", "id=one\nid=two\n", "two|||"},
        {"last_line_without_newline", "id=hand\nshortcut=h", "hand|||h"},
    };
    TempDir dir;
    for (const auto& [fault, text, fields] : cases) {
        EXPECT_EQ(fieldsOf(parseToolManifest(dir.write("tool.txt", text))), fields) << fault;
    }
    EXPECT_EQ(fieldsOf(parseToolManifest(dir.path() / "missing.txt")), "|||");
    EXPECT_EQ(fieldsOf(parseToolManifest(dir.path())), "|||") << "a directory reads as empty";
}

// Directory names sort by bytes (digits, capitals, a prefix first); only a
// tool.txt directly inside a directory entry counts, through links, whatever
// its type, and every manifest is kept, duplicates and empty ids included.
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

    std::string ids;
    for (const auto& tool : ToolCatalog{}.load(root)) {
        ids += tool.id + ",";
    }
    EXPECT_EQ(ids, "10,9,Zoom,a,9,b,hand,,");

    EXPECT_THROW(ToolCatalog{}.load(dir.path() / "missing"), fs::filesystem_error);
    EXPECT_THROW(ToolCatalog{}.load(root / "readme.txt"), fs::filesystem_error);
}

} // namespace
} // namespace kanvo::ui
