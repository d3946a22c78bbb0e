#pragma once

#include <QByteArray>
#include <QHash>
#include <optional>

// One drawn glyph: premultiplied ARGB32 pixels, rows packed. 0 x 0 records
// that there was nothing to draw, so that a missing symbol is not searched
// for again on every start.
struct KanvoGlyph {
    quint16 width = 0;
    quint16 height = 0;
    QByteArray pixels; // width * height * 4 bytes

    bool operator==(const KanvoGlyph&) const = default;
};

// The glyph cache's file: the identity of whatever drew the glyphs, then each
// glyph under its key. Kanvo writes it, but reads it back from the user's
// cache folder, where it may be cut short or damaged; reading accepts only a
// whole file whose every glyph has exactly its pixels.
struct KanvoGlyphFile {
    QByteArray identity;
    QHash<QByteArray, KanvoGlyph> glyphs;

    bool operator==(const KanvoGlyphFile&) const = default;

    QByteArray encoded() const;
    static std::optional<KanvoGlyphFile> decoded(const QByteArray& bytes);
};
