#include "fuzz_input_file.h"
#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoImageDecodeService.h"

#include <string_view>

namespace {

// The name header inspection would let such bytes through under: it picks
// the parser by the extension, and only a PNG or a JPEG signature passes as
// .png or .jpg.
const char* nameFor(std::string_view bytes) {
    if (bytes.starts_with("\x89PNG")) {
        return "input.png";
    }
    return bytes.starts_with("\xFF\xD8") ? "input.jpg" : "input.ppm";
}

} // namespace

// Every input goes the whole way a file opened in Kanvo goes (the decode job
// without a preview): read from its file, its format told by its first
// bytes, decoded, turned upright, converted by its profile and halved into
// the pyramid. A decoded image must have a real size within the
// allocation limit; anything else, or a sanitizer report, is a bug.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kanvo::fuzz::FuzzInputDirectory directory;
    const auto path =
        directory.write(nameFor({reinterpret_cast<const char*>(data), size}), data, size);
    const KanvoImage image =
        KanvoImageDecodeService::decodeFile(QString::fromStdString(path.string()));
    if (!image.isNull() && !KanvoAllocation::fits(image.size().width(), image.size().height(),
                                                  KanvoAllocation::largestImageBytes())) {
        __builtin_trap();
    }
    return 0;
}
