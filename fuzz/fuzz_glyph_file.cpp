#include "fuzz_input_bytes.h"
#include "kit/KanvoGlyphFile.h"

#include <cstddef>
#include <cstdint>

// The glyph cache's file as it may be found in a user's cache folder: one the
// input describes, written whole, must read back as written; the same bytes
// cut, overwritten or extended where the input says must read back as
// nothing or as a file whose every glyph has exactly its pixels, and which
// itself reads back as written.
namespace {

using kanvo::fuzz::FuzzInputBytes;

KanvoGlyphFile describedFile(FuzzInputBytes& input) {
    KanvoGlyphFile file;
    const auto identity = input.take(input.inRange(0, 64));
    file.identity = QByteArray(reinterpret_cast<const char*>(identity.data()), identity.size());
    for (std::uint32_t count = input.inRange(0, 6); count > 0; --count) {
        KanvoGlyph glyph{quint16(input.inRange(0, 9)), quint16(input.inRange(0, 9)), {}};
        for (int i = 0; i < glyph.width * glyph.height * 4; ++i) {
            glyph.pixels.append(char(input.sample()));
        }
        file.glyphs.insert(QByteArray::number(input.inRange(0, 7)), glyph);
    }
    return file;
}

void damage(QByteArray& bytes, FuzzInputBytes& input) {
    for (std::uint32_t changes = input.inRange(0, 4); changes > 0; --changes) {
        const qsizetype at = qsizetype(input.inRange(0, std::uint32_t(bytes.size())));
        switch (input.inRange(0, 2)) {
        case 0:
            bytes.truncate(at);
            break;
        case 1:
            if (at < bytes.size()) {
                bytes[at] = char(input.byte());
            }
            break;
        default:
            bytes.insert(at, char(input.byte()));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInputBytes input({data, size});
    const KanvoGlyphFile written = describedFile(input);
    QByteArray bytes = written.encoded();
    if (KanvoGlyphFile::decoded(bytes) != written) {
        __builtin_trap();
    }
    damage(bytes, input);
    if (const std::optional<KanvoGlyphFile> read = KanvoGlyphFile::decoded(bytes)) {
        for (const KanvoGlyph& glyph : read->glyphs) {
            if (glyph.pixels.size() != qsizetype(glyph.width) * glyph.height * 4) {
                __builtin_trap();
            }
        }
        if (KanvoGlyphFile::decoded(read->encoded()) != read) {
            __builtin_trap();
        }
    }
    return 0;
}
