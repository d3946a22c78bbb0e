#include "kit/KanvoGlyphFile.h"

#include <QDataStream>
#include <QIODevice>

namespace {

constexpr char kMagic[] = "Kanvo glyphs 1";

// The stream's own encoding of integers and byte arrays, fixed so that a file
// outlives a Qt upgrade's change of default (the identity discards it anyway).
QDataStream& configured(QDataStream& stream) {
    stream.setVersion(QDataStream::Qt_6_0);
    stream.setByteOrder(QDataStream::LittleEndian);
    return stream;
}

} // namespace

QByteArray KanvoGlyphFile::encoded() const {
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    configured(stream) << QByteArray(kMagic) << identity << quint32(glyphs.size());
    for (auto glyph = glyphs.cbegin(); glyph != glyphs.cend(); ++glyph) {
        stream << glyph.key() << glyph->width << glyph->height << glyph->pixels;
    }
    return bytes;
}

std::optional<KanvoGlyphFile> KanvoGlyphFile::decoded(const QByteArray& bytes) {
    QDataStream stream(bytes);
    QByteArray magic;
    KanvoGlyphFile file;
    quint32 count = 0;
    configured(stream) >> magic >> file.identity >> count;
    if (stream.status() != QDataStream::Ok || magic != kMagic) {
        return std::nullopt;
    }
    // A count the bytes cannot hold ends in a short read, not in a reservation.
    for (quint32 i = 0; i < count; ++i) {
        QByteArray key;
        KanvoGlyph glyph;
        stream >> key >> glyph.width >> glyph.height >> glyph.pixels;
        if (stream.status() != QDataStream::Ok ||
            glyph.pixels.size() != qsizetype(glyph.width) * glyph.height * 4) {
            return std::nullopt;
        }
        file.glyphs.insert(key, glyph);
    }
    if (!stream.atEnd()) {
        return std::nullopt;
    }
    return file;
}
