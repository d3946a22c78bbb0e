#include "fuzz_input_file.h"
#include "kanvo/ui/tool_manifest.h"

#include <initializer_list>
#include <string_view>

namespace {

// Whether `text` has a whole line "<key>=<value>".
bool holdsLine(std::string_view text, std::string_view key, const std::string& value) {
    const std::string line = std::string(key) + "=" + value;
    for (std::size_t at = text.find(line); at != std::string_view::npos;
         at = text.find(line, at + 1)) {
        const std::size_t end = at + line.size();
        if ((at == 0 || text[at - 1] == '\n') && (end == text.size() || text[end] == '\n')) {
            return true;
        }
    }
    return false;
}

} // namespace

// The parser must accept anything. A value holds no line break and is the
// rest of a line that starts with one of its field's keys; a file over the
// limit gives no values at all.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kanvo::fuzz::FuzzInputDirectory directory;
    const auto manifest = kanvo::ui::parseToolManifest(directory.write("tool.txt", data, size));
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const struct {
        const std::string& value;
        std::initializer_list<std::string_view> keys;
    } fields[] = {{manifest.id, {"id"}},
                  {manifest.label, {"label"}},
                  {manifest.icon, {"icon", "symbol"}},
                  {manifest.shortcut, {"shortcut"}}};
    for (const auto& field : fields) {
        if (field.value.empty()) {
            continue;
        }
        bool held = false;
        for (const std::string_view key : field.keys) {
            held = held || holdsLine(text, key, field.value);
        }
        if (!held || field.value.find('\n') != std::string::npos ||
            size > kanvo::ui::largestToolManifestBytes) {
            __builtin_trap();
        }
    }
    return 0;
}
