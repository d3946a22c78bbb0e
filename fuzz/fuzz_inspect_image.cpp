#include "fuzz_input_file.h"
#include "kanvo/ui/image_inspection.h"

#include <stdexcept>

// Every input is tried as each of the three formats. A rejected file must be
// reported with std::runtime_error; any other exception or a size wider than
// the header field it came from is a bug.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kanvo::fuzz::FuzzInputDirectory directory;
    static const struct {
        const char* name;
        std::size_t maxSide;
    } formats[] = {{"input.png", 0xFFFFFFFF}, {"input.jpg", 0xFFFF}, {"input.ppm", SIZE_MAX}};

    for (const auto& format : formats) {
        const auto path = directory.write(format.name, data, size);
        try {
            const kanvo::ui::ImageInfo info = kanvo::ui::inspectImageFile(path);
            if (info.path != path || info.width > format.maxSide || info.height > format.maxSide) {
                __builtin_trap();
            }
        } catch (const std::runtime_error&) {
        }
    }
    return 0;
}
