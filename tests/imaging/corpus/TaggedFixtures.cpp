#include "TaggedFixtures.h"

#include "LibjpegEncoding.h"
#include "SpngEncoding.h"
#include "image_bytes.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTransform>

namespace {

constexpr QSize pictureSize(192, 128);
constexpr QRect redPatch(16, 16, 64, 40);
constexpr QRect greenPatch(112, 16, 64, 40);

// Mid-saturated gradients, where profiles disagree most, and a red and a
// green patch labelled with the colour they must show. Under a profile that
// swaps red and green, the patch labelled RED is stored green: a viewer that
// ignores the profile shows the word RED on green. With `alpha`, the bottom
// band fades out to the right.
QImage picture(bool swapped, bool alpha) {
    QImage image(pictureSize, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int fade = alpha && y >= 80 ? 160 * x / (image.width() - 1) : 0;
            row[x] = qRgba(60 + 150 * x / (image.width() - 1), 50 + 160 * y / (image.height() - 1),
                           170 - 100 * x / (image.width() - 1), 255 - fade);
        }
    }
    QPainter painter(&image);
    painter.fillRect(redPatch, QColor(swapped ? 0 : 210, swapped ? 210 : 0, 0));
    painter.fillRect(greenPatch, QColor(swapped ? 210 : 0, swapped ? 0 : 210, 0));
    QFont font = painter.font();
    font.setPixelSize(14);
    painter.setFont(font);
    painter.setPen(Qt::black);
    // The words sit in the top half of each patch; the bottom half is the
    // colour a check samples.
    painter.drawText(redPatch.adjusted(0, 2, 0, -20), Qt::AlignHCenter | Qt::AlignTop, "RED");
    painter.drawText(greenPatch.adjusted(0, 2, 0, -20), Qt::AlignHCenter | Qt::AlignTop, "GREEN");
    return image;
}

QByteArray segment(uchar marker, const QByteArray& payload) {
    return QByteArray::fromStdString(kanvo::test::jpegSegment(marker, payload.toStdString()));
}

// APP2 ICC_PROFILE segments, numbered from 1, as many as the profile needs.
QByteArray iccProfileSegments(const QByteArray& profile) {
    constexpr qsizetype chunk = 65519; // a segment's most, less the name, number and count
    const int count = int((profile.size() + chunk - 1) / chunk);
    QByteArray segments;
    for (int i = 0; i < count; ++i) {
        segments += segment(0xE2, QByteArray("ICC_PROFILE\0", 12) + char(i + 1) + char(count) +
                                      profile.mid(i * chunk, chunk));
    }
    return segments;
}

// The segments go where cameras put them: after SOI and the JFIF APP0.
QByteArray jpeg(const QImage& image, const QByteArray& profile, int orientation) {
    QByteArray file = kanvo::test::libjpegEncoded(image, {1, 1});
    const qsizetype afterApp0 = 4 + (uchar(file[4]) << 8 | uchar(file[5]));
    return file.insert(afterApp0,
                       (orientation != 1 ? segment(0xE1, QByteArray::fromStdString(
                                                             kanvo::test::exifBody(orientation)))
                                         : QByteArray()) +
                           iccProfileSegments(profile));
}

// One fixture to make.
struct Recipe {
    const char* name;
    const char* profile; // a colord file name, or empty
    bool converted;
    bool swapped = false;
    bool alpha = false;
    int orientation = 1;
    bool breakProfile = false; // its 'acsp' signature overwritten: no colour engine accepts it
};

TaggedFixture make(const Recipe& recipe, const QString& folder) {
    TaggedFixture fixture{recipe.name,
                          QDir(folder).filePath(recipe.name),
                          QByteArray(recipe.name).endsWith(".png") ? CorpusFormat::Png
                                                                   : CorpusFormat::Jpeg,
                          recipe.converted,
                          recipe.orientation,
                          {}};
    QByteArray profile;
    if (*recipe.profile != '\0') {
        QFile file(QStringLiteral("/usr/share/color/icc/colord/") + recipe.profile);
        if (!file.open(QIODevice::ReadOnly)) {
            fixture.missing = file.fileName() + QStringLiteral(" is missing (package colord-data)");
            return fixture;
        }
        profile = file.readAll();
    }
    if (recipe.breakProfile) {
        profile.replace(36, 4, "xxxx");
    }
    QImage image = picture(recipe.swapped, recipe.alpha);
    if (recipe.orientation == 6) {
        // Stored a quarter turn anticlockwise: tag 6 turns it back.
        image = image.transformed(QTransform().rotate(-90));
    }
    const QByteArray bytes = fixture.format == CorpusFormat::Png
                                 ? kanvo::test::spngEncoded(image, -1, profile)
                                 : jpeg(image, profile, recipe.orientation);
    QFile file(fixture.path);
    if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        fixture.missing = QStringLiteral("could not write ") + fixture.path;
    }
    return fixture;
}

} // namespace

QList<TaggedFixture> TaggedFixtures::make(const QString& folder) {
    const Recipe recipes[] = {
        {"swapped-red-green.jpg", "SwappedRedAndGreen.icc", true, true},
        {"swapped-red-green.png", "SwappedRedAndGreen.icc", true, true},
        {"ntsc-rgb.jpg", "NTSC-RGB.icc", true},
        {"ntsc-rgb-turned.jpg", "NTSC-RGB.icc", true, false, false, 6},
        {"prophoto-alpha.png", "ProPhotoRGB.icc", true, false, true},
        {"srgb.jpg", "sRGB.icc", false},
        {"srgb.png", "sRGB.icc", false},
        {"untagged.jpg", "", false},
        {"untagged-alpha.png", "", false, false, true},
        {"broken-profile.jpg", "NTSC-RGB.icc", false, false, false, 1, true},
        {"broken-profile.png", "NTSC-RGB.icc", false, false, false, 1, true},
    };
    QList<TaggedFixture> fixtures;
    for (const Recipe& recipe : recipes) {
        fixtures.append(::make(recipe, folder));
    }
    return fixtures;
}
