#include "generate/KanvoSDURLLine.h"

#include <cstddef>
#include <cstdint>

// The configuration may hold any bytes. A value comes only from valid UTF-8,
// which survives the way through a QString and back unchanged (after a
// leading letter, so that a byte order mark is not dropped), and from one
// line, from between two of its double quotes: it holds no line feed, and
// the text holds it quoted.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray config(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QString> url = KanvoSDURLLine::firstValue(config);
    if (!url) {
        return 0;
    }
    const QByteArray bytes = 'x' + config;
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes || url->contains(u'\n') || !text.contains(u'"' + *url + u'"')) {
        __builtin_trap();
    }
    return 0;
}
