#include "fuzz_input_file.h"
#include "kanvo/ui/tool_manifest.h"

// The parser must accept anything, and no value may span a line break.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kanvo::fuzz::FuzzInputDirectory directory;
    const auto manifest = kanvo::ui::parseToolManifest(directory.write("tool.txt", data, size));
    for (const std::string* field :
         {&manifest.id, &manifest.label, &manifest.icon, &manifest.shortcut}) {
        if (field->find('\n') != std::string::npos) {
            __builtin_trap();
        }
    }
    return 0;
}
