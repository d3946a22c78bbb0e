#include "fuzz_input_file.h"
#include "kanvo/ui/image_inspection.h"

#include <stdexcept>
#include <string>
#include <string_view>

// Every input is tried as each of the three formats. A rejected file must be
// reported with std::runtime_error; any other exception, a size wider than
// the header field it came from, or a PPM size not written in its bytes as
// decimal digits (a sign wrapped round, say) is a bug.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kanvo::fuzz::FuzzInputDirectory directory;
    static const struct {
        const char* name;
        std::size_t maxSide;
        bool decimal;
    } formats[] = {{"input.png", 0xFFFFFFFF, false},
                   {"input.jpg", 0xFFFF, false},
                   {"input.ppm", SIZE_MAX, true}};

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto written = [bytes](std::size_t side) {
        return bytes.find(std::to_string(side)) != std::string_view::npos;
    };
    for (const auto& format : formats) {
        const auto path = directory.write(format.name, data, size);
        try {
            const kanvo::ui::ImageInfo info = kanvo::ui::inspectImageFile(path);
            if (info.path != path || info.width > format.maxSide || info.height > format.maxSide ||
                (format.decimal && !(written(info.width) && written(info.height)))) {
                __builtin_trap();
            }
        } catch (const std::runtime_error&) {
        }
    }
    return 0;
}
