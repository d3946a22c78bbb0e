#include "generate/KanvoSDURLLine.h"

#include <cstddef>
#include <cstdint>

// The configuration may hold any bytes. A value comes from one line, from
// between two of its double quotes: it holds no line feed, and the text holds
// it quoted.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray config(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QString> url = KanvoSDURLLine::firstValue(config);
    if (url && (url->contains(u'\n') || !QString::fromUtf8(config).contains(u'"' + *url + u'"'))) {
        __builtin_trap();
    }
    return 0;
}
