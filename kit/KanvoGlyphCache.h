#pragma once

#include "kit/KanvoGlyphFile.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QSize>
#include <QString>
#include <functional>

// The icons Kanvo draws as it builds its window, kept on disk as drawn:
// theme symbols tinted one colour at their size and pixel ratio, and the
// application icon at the sizes window systems ask for. Finding a symbol in
// the icon theme probes a dozen files and renders an SVG; the window's two
// dozen took as long as building half its panels. The file is read once, on
// first use, and is discarded whole when Qt, the icon theme or Kanvo's own
// build changes, since any of them may draw differently.
class KanvoGlyphCache {
public:
    // This user's cache of this build, kept in its cache folder.
    static KanvoGlyphCache& shared();

    // A cache kept in the file at `path`, valid for as long as whatever draws
    // the glyphs is what `identity` names.
    KanvoGlyphCache(QString path, QByteArray identity);

    // A theme symbol (KanvoSymbols::icon) drawn in `tint` alone at `size`
    // and the application's pixel ratio; null when there is no such symbol.
    QIcon tinted(const QString& symbol, const QColor& tint, QSize size);

    // The SVG file `file` at 16, 32, 64 and 128 pixels.
    QIcon windowIcon(const QString& file);

    // Writes the file when anything was drawn since it was read. The first
    // write makes the cache folder; a failed one only costs the next start
    // the drawing again.
    void save();

private:
    QImage glyph(const QByteArray& key, const std::function<QImage()>& draw);

    QString path_;
    KanvoGlyphFile file_;
    bool drawn_ = false;
};
