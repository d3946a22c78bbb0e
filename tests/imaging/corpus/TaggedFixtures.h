#pragma once

#include "CorpusCases.h"

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>

// Files with embedded colour profiles, made at test time from a synthetic
// picture: JPEGs written by ImageMagick (APP2 ICC_PROFILE, split over several
// segments when the profile is large, as real writers do) and PNGs by
// libspng (iCCP). The profiles come from colord-data, or are built with
// Little CMS for the gamuts colord does not ship (Display P3, Rec. 2020).
struct TaggedFixture {
    QString name;
    QString path;
    CorpusFormat format = CorpusFormat::Jpeg;
    // Shown as the profile says; otherwise (untagged, sRGB, or a profile
    // nothing can read) shown exactly as stored.
    bool converted = false;
    QByteArray profile;  // as embedded; empty when none
    int orientation = 1; // the EXIF tag written into the JPEG
    QRect redArea;       // in the upright picture: inside the patch labelled "RED"
    QString missing;     // why this fixture could not be made here
};

namespace TaggedFixtures {

// Where colord-data installs its profiles.
QString colordProfileFolder();

// Writes every fixture into `folder`.
QList<TaggedFixture> make(const QString& folder);

} // namespace TaggedFixtures
