#pragma once

#include "CorpusCases.h"

#include <QList>
#include <QRect>
#include <QString>

// Files with embedded colour profiles from colord-data, made at test time
// from a synthetic picture: JPEGs written by libjpeg with APP2 ICC_PROFILE
// segments and PNGs by libspng (iCCP).
struct TaggedFixture {
    QString name;
    QString path;
    CorpusFormat format = CorpusFormat::Jpeg;
    // Shown as the profile says; otherwise (untagged, sRGB, or a profile
    // nothing can read) shown exactly as stored.
    bool converted = false;
    int orientation = 1; // the EXIF tag written into the JPEG
    QString missing;     // why this fixture could not be made here
};

namespace TaggedFixtures {

// In the upright picture of every fixture: inside the patch labelled "RED",
// below the word.
constexpr QRect redArea(22, 40, 52, 12);

// Writes every fixture into `folder`.
QList<TaggedFixture> make(const QString& folder);

} // namespace TaggedFixtures
