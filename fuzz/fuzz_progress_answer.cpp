#include "generate/KanvoProgressAnswer.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

// The server may answer anything. A fraction becomes the percentage that
// truncates it wherever that fits an int, and saturates (UBSan reports an
// undefined conversion) everywhere else.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<double> progress = KanvoProgressAnswer::progress(body)) {
        const int percent = KanvoProgressAnswer::percent(*progress);
        const double scaled = std::trunc(*progress * 100.0);
        if (std::abs(scaled) < 2e9 && percent != int(scaled)) {
            __builtin_trap();
        }
    }
    return 0;
}
