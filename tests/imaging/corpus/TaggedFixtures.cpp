#include "TaggedFixtures.h"

#include "IccProfiles.h"
#include "SpngEncoding.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTransform>

namespace {

constexpr QSize pictureSize(192, 128);
constexpr QRect redPatch(16, 16, 64, 40);
constexpr QRect greenPatch(112, 16, 64, 40);
constexpr int jpegQuality = 95;
constexpr int writerTimeoutMs = 60'000;

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
    const QColor red(210, 0, 0);
    const QColor green(0, 210, 0);
    QPainter painter(&image);
    painter.fillRect(redPatch, swapped ? green : red);
    painter.fillRect(greenPatch, swapped ? red : green);
    QFont font = painter.font();
    font.setPixelSize(14);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::black);
    // The words sit in the top half of each patch; the bottom half is the
    // colour a check samples.
    painter.drawText(redPatch.adjusted(0, 2, 0, -20), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("RED"));
    painter.drawText(greenPatch.adjusted(0, 2, 0, -20), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("GREEN"));
    return image;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// An APP1 Exif segment holding only the orientation tag, big-endian TIFF.
QByteArray exifOrientation(int tag) {
    QByteArray exif("Exif\0\0MM\0\x2A\0\0\0\x08", 14);
    exif += QByteArray("\0\x01", 2);                   // one entry
    exif += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8); // Orientation, SHORT, one value
    exif += char(0);
    exif += char(tag);
    exif += QByteArray(2, '\0'); // the value's padding
    exif += QByteArray(4, '\0'); // no next directory
    const int length = int(exif.size()) + 2;
    return QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + exif;
}

// Puts the Exif segment where cameras do: after SOI and any JFIF APP0.
QByteArray withOrientation(QByteArray jpeg, int tag) {
    qsizetype at = 2;
    if (jpeg.size() > 6 && uchar(jpeg[2]) == 0xFF && uchar(jpeg[3]) == 0xE0) {
        at = 4 + (uchar(jpeg[4]) << 8 | uchar(jpeg[5]));
    }
    return jpeg.insert(at, exifOrientation(tag));
}

// The profile as a JPEG carries it, corrupted in place: ImageMagick refuses
// to embed a profile it cannot read.
QByteArray withBrokenProfile(QByteArray jpeg) {
    const qsizetype marker = jpeg.indexOf(QByteArray("ICC_PROFILE\0", 12));
    const qsizetype profileStart = marker + 14; // after the name, sequence number and count
    const QByteArray profile = jpeg.mid(profileStart, 128);
    jpeg.replace(profileStart, profile.size(), IccProfiles::broken(profile));
    return jpeg;
}

// ImageMagick assigns the profile to an image that has none: the samples are
// written as they are, only tagged.
QString writeJpeg(const QImage& image, const QString& profilePath, const QString& path) {
    const QString source = path + QStringLiteral(".ppm");
    if (!image.convertToFormat(QImage::Format_RGB32).save(source, "PPM")) {
        return QStringLiteral("could not write ") + source;
    }
    QStringList arguments{source, QStringLiteral("-quality"), QString::number(jpegQuality)};
    if (!profilePath.isEmpty()) {
        arguments << QStringLiteral("-profile") << profilePath;
    }
    QProcess convert;
    convert.start(QStringLiteral("convert"), arguments << path);
    if (!convert.waitForFinished(writerTimeoutMs) || convert.exitCode() != 0) {
        return QStringLiteral("ImageMagick could not write %1: %2")
            .arg(path, QString::fromLocal8Bit(convert.readAllStandardError()));
    }
    return {};
}

QString writePng(const QImage& image, const QByteArray& profile, const QString& path) {
    if (!write(path, kanvo::test::spngEncoded(image, -1, profile))) {
        return QStringLiteral("libspng could not write %1").arg(path);
    }
    return {};
}

// One fixture to make.
struct Recipe {
    const char* name;
    const char* profile; // a colord file name, a built profile's name, or empty
    bool converted;
    bool swapped = false;
    bool alpha = false;
    int orientation = 1;
    bool breakProfile = false;
};

QByteArray builtProfile(const QString& name) {
    if (name == "display-p3") {
        return IccProfiles::displayP3();
    }
    if (name == "rec2020") {
        return IccProfiles::rec2020();
    }
    return IccProfiles::largeTabulated();
}

TaggedFixture make(const Recipe& recipe, const QString& folder) {
    TaggedFixture fixture;
    fixture.name = QString::fromLatin1(recipe.name);
    fixture.path = QDir(folder).filePath(fixture.name);
    fixture.format = fixture.name.endsWith(".png") ? CorpusFormat::Png : CorpusFormat::Jpeg;
    fixture.converted = recipe.converted;
    fixture.orientation = recipe.orientation;
    fixture.redArea = redPatch.adjusted(6, 24, -6, -4); // below the word, inside the edges

    const QString profileName = QString::fromLatin1(recipe.profile);
    QString profilePath;
    if (profileName.endsWith(".icc")) {
        profilePath = QDir(TaggedFixtures::colordProfileFolder()).filePath(profileName);
        fixture.profile = contents(profilePath);
        if (fixture.profile.isEmpty()) {
            fixture.missing = profilePath + QStringLiteral(" is missing (package colord-data)");
            return fixture;
        }
    } else if (!profileName.isEmpty()) {
        fixture.profile = builtProfile(profileName);
        profilePath = QDir(folder).filePath(profileName + QStringLiteral(".icc"));
        if (!write(profilePath, fixture.profile)) {
            fixture.missing = QStringLiteral("could not write ") + profilePath;
            return fixture;
        }
    }

    QImage image = picture(recipe.swapped, recipe.alpha);
    if (recipe.orientation == 6) {
        // Stored a quarter turn anticlockwise: tag 6 turns it back.
        image = image.transformed(QTransform().rotate(-90));
    }
    if (fixture.format == CorpusFormat::Png) {
        if (recipe.breakProfile) {
            fixture.profile = IccProfiles::broken(fixture.profile);
        }
        fixture.missing = writePng(image, fixture.profile, fixture.path);
        return fixture;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty()) {
        fixture.missing = QStringLiteral("convert is missing (package imagemagick)");
        return fixture;
    }
    fixture.missing = writeJpeg(image, profilePath, fixture.path);
    if (fixture.missing.isEmpty() && (recipe.orientation != 1 || recipe.breakProfile)) {
        QByteArray jpeg = contents(fixture.path);
        if (recipe.orientation != 1) {
            jpeg = withOrientation(jpeg, recipe.orientation);
        }
        if (recipe.breakProfile) {
            jpeg = withBrokenProfile(jpeg);
            fixture.profile = IccProfiles::broken(fixture.profile);
        }
        if (!write(fixture.path, jpeg)) {
            fixture.missing = QStringLiteral("could not write ") + fixture.path;
        }
    }
    return fixture;
}

} // namespace

QString TaggedFixtures::colordProfileFolder() {
    return QStringLiteral("/usr/share/color/icc/colord");
}

QList<TaggedFixture> TaggedFixtures::make(const QString& folder) {
    const Recipe recipes[] = {
        {"swapped-red-green.jpg", "SwappedRedAndGreen.icc", true, true},
        {"swapped-red-green.png", "SwappedRedAndGreen.icc", true, true},
        {"ntsc-rgb.jpg", "NTSC-RGB.icc", true},
        {"ntsc-rgb-turned.jpg", "NTSC-RGB.icc", true, false, false, 6},
        {"prophoto-alpha.png", "ProPhotoRGB.icc", true, false, true},
        {"display-p3.jpg", "display-p3", true},
        {"rec2020.png", "rec2020", true},
        {"large-profile.jpg", "large-tabulated", true},
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
