// The public test images against reference decoders: every legal file comes
// out as libpng or libjpeg-turbo decode it, turned upright and colour-managed;
// every file they refuse is refused; tagged files show the colours their
// profiles say. Each row is one file, named by its category and path.
#include "ColourReference.h"
#include "CorpusCases.h"
#include "CorpusTally.h"
#include "CrashNote.h"
#include "EmbeddedProfile.h"
#include "PixelDifference.h"
#include "ReferenceDecoder.h"
#include "TaggedFixtures.h"
#include "imaging/KanvoImageDecodeService.h"
#include "imaging/KanvoImageDecoder.h"
#include "imaging/KanvoJpegDecoder.h"
#include "imaging/KanvoJpegPreview.h"
#include "imaging/KanvoOrientation.h"
#include "kanvo/ui/image_inspection.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

// How far decoded samples may be from the reference's, in levels. djpeg and
// the decoder are the same libjpeg-turbo: with djpeg's settings (accurate
// integer IDCT, fancy upsampling) they agree exactly, and any difference
// means other settings (a fast IDCT, plain upsampling) or a seam between
// stripes. 16-bit samples and CMYK round to 8 bits in different ways, and
// premultiplying adds a level.
int decodeTolerance(CorpusFormat format, const ReferenceImage& reference) {
    return format == CorpusFormat::Jpeg && reference.cmyk.isEmpty() ? 0 : 2;
}
// Two implementations of the same conversion (profile parsing, curve
// interpolation, the display's sRGB) differ a little; a wrong conversion,
// or none, moves whole areas by tens of levels.
constexpr double conversionMeanTolerance = 3.0;
// Separately compressed photos of one scene, compared at an eighth of their
// size: about one level apart when they face the same way, forty when one is
// turned or mirrored.
constexpr int orientationScale = 8;
constexpr double orientationMeanTolerance = 4.0;
// libjpeg's reduced inverse DCT rounds in fixed point, the decode in pieces
// takes exact means.
constexpr int reducedDecodeTolerance = 4;

const char* verdictWord(CorpusVerdict verdict) {
    switch (verdict) {
    case CorpusVerdict::Ok:
        return "decodes it";
    case CorpusVerdict::Warn:
        return "decodes it with a warning";
    case CorpusVerdict::Fail:
        break;
    }
    return "refuses it";
}

// The header's size, or the reason it was refused.
struct Header {
    std::optional<QSize> size;
    QString refusal;
};

Header inspectHeader(const QString& path) {
    try {
        const kanvo::ui::ImageInfo info = kanvo::ui::inspectImageFile(path.toStdString());
        return {QSize(int(info.width), int(info.height)), {}};
    } catch (const std::exception& error) {
        return {std::nullopt, QString::fromUtf8(error.what())};
    }
}

QString sizeText(QSize size) {
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

QRgb meanColour(const QImage& image, QRect area) {
    const QImage part = image.copy(area).convertToFormat(QImage::Format_ARGB32);
    qint64 sums[3] = {0, 0, 0};
    for (int y = 0; y < part.height(); ++y) {
        for (int x = 0; x < part.width(); ++x) {
            const QRgb pixel = part.pixel(x, y);
            sums[0] += qRed(pixel);
            sums[1] += qGreen(pixel);
            sums[2] += qBlue(pixel);
        }
    }
    const qint64 count = qint64(part.width()) * part.height();
    return qRgb(int(sums[0] / count), int(sums[1] / count), int(sums[2] / count));
}

QString colourText(QRgb colour) {
    return QStringLiteral("rgb(%1, %2, %3)")
        .arg(qRed(colour))
        .arg(qGreen(colour))
        .arg(qBlue(colour));
}

} // namespace

class KanvoCorpusTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(work_.isValid());
        references_ = std::make_unique<ReferenceDecoder>(work_.path());
        root_ = CorpusCases::corpusRoot();
        cases_ = CorpusCases::read(root_);
        const QStringList missing = ReferenceDecoder::missingPrograms();
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QStringLiteral("reference decoders missing: ") + missing.join(", ") +
                            " (scripts/install-deps.sh installs them)"));
        CrashNote::install();
    }

    void init() {
        CrashNote::setCurrent(QByteArray(QTest::currentTestFunction()) + '(' +
                              QTest::currentDataTag() + ')');
    }

    // Tallies each row by the category its tag starts with.
    void cleanup() {
        tally_.record(QString::fromLatin1(QTest::currentTestFunction()),
                      QString::fromUtf8(QTest::currentDataTag()).section(": ", 0, 0),
                      !QTest::currentTestFailed(), skipped_);
        skipped_ = false;
    }

    void cleanupTestCase() {
        std::fputs(qPrintable(QStringLiteral("\nCorpus summary (%1)\n%2")
                                  .arg(QDir::toNativeSeparators(root_), tally_.report())),
                   stdout);
    }

    // A file libpng, libjpeg-turbo or netpbm decode, with or without a
    // warning, shows as they show it once the header gate admits it: the
    // same size as its header says, the same samples turned upright, and on
    // screen converted by its profile.
    void legalFileMatchesReference_data() { addCorpusRows(true); }
    void legalFileMatchesReference() {
        QFETCH(int, index);
        const CorpusCase& entry = cases_.at(index);
        const QString path = QDir(root_).filePath(entry.relativePath);
        const ReferenceImage reference = references_->decode(path, entry.format);
        const KanvoImage image = KanvoImageDecodeService::decodeFile(path);
        if (reference.pixels.isNull()) {
            // The table's reference run decoded it, but here the reference
            // decoder makes no image: then neither may Kanvo.
            QVERIFY2(image.isNull(),
                     qPrintable(QStringLiteral("shown, but %1 makes no image of it: %2")
                                    .arg(reference.decoder, reference.failure)));
            return;
        }
        // The header gate's rules are exact: it keeps out files of other
        // formats or misleading names, and damaged ones its marker walk
        // cannot follow, which the decoder may then refuse too. A clean
        // file of the editor's formats passes it, and what passes is shown.
        const Header header = inspectHeader(path);
        if (header.size.has_value()) {
            QVERIFY2(!image.isNull(),
                     qPrintable(QStringLiteral("refused, but %1 %2 (%3)")
                                    .arg(reference.decoder, verdictWord(entry.verdict),
                                         entry.referenceMessage)));
        } else {
            QVERIFY2(entry.verdict != CorpusVerdict::Ok ||
                         !CorpusCases::acceptedByHeaderRules(entry, root_),
                     qPrintable(QStringLiteral("header inspection refuses a clean file: ") +
                                header.refusal));
            if (image.isNull()) {
                return;
            }
        }

        const QByteArray profile = EmbeddedProfile::of(path, entry.format);
        const QImage stored = PixelComparison::upright(reference.pixels, entry.exifOrientation);
        const QImage converted = PixelComparison::upright(
            ColourReference::toSrgb(reference, profile), entry.exifOrientation);
        // QImage holds no CMYK, so a CMYK file with a profile is decoded
        // through it: its decoded pixels are already the converted ones.
        const bool convertedWhenDecoded = !reference.cmyk.isEmpty() && !converted.isNull();
        const int tolerance = decodeTolerance(entry.format, reference);
        const PixelDifference decoded =
            PixelComparison::compare(image.full(), convertedWhenDecoded ? converted : stored);
        QVERIFY2(decoded.sameSize() &&
                     (convertedWhenDecoded ? decoded.mean <= conversionMeanTolerance
                                           : decoded.maximum <= tolerance),
                 qPrintable(QStringLiteral("pixels differ from %1's%2 (EXIF orientation %3): %4")
                                .arg(reference.decoder,
                                     convertedWhenDecoded ? " through its CMYK profile" : "")
                                .arg(entry.exifOrientation)
                                .arg(decoded.describe())));

        if (header.size.has_value()) {
            QVERIFY2(*header.size == image.size(),
                     qPrintable(QStringLiteral("header says %1, the upright pixels are %2")
                                    .arg(sizeText(*header.size), sizeText(image.size()))));
        }

        const QImage shown = image.fullForDisplay();
        if (converted.isNull()) {
            // Usually the decoded image itself, already compared.
            const PixelDifference difference = shown.cacheKey() == image.full().cacheKey()
                                                   ? decoded
                                                   : PixelComparison::compare(shown, stored);
            QVERIFY2(difference.sameSize() && difference.maximum <= tolerance,
                     qPrintable(QStringLiteral("drawn unlike its samples, with %1: %2")
                                    .arg(profile.isEmpty() ? "no profile"
                                                           : "a profile that does not apply")
                                    .arg(difference.describe())));
        } else {
            const PixelDifference difference = PixelComparison::compare(shown, converted);
            QVERIFY2(difference.sameSize() && difference.mean <= conversionMeanTolerance,
                     qPrintable(QStringLiteral("drawn unlike Little CMS's conversion of its "
                                               "%1-byte profile to sRGB: %2")
                                    .arg(profile.size())
                                    .arg(difference.describe())));
        }
    }

    // A file the reference decoders refuse never becomes a picture: the
    // header gate refuses it, or decoding does. Nothing crashes either way.
    void refusedFileIsRefused_data() { addCorpusRows(false); }
    void refusedFileIsRefused() {
        QFETCH(int, index);
        const CorpusCase& entry = cases_.at(index);
        const QString path = QDir(root_).filePath(entry.relativePath);
        const Header header = inspectHeader(path);
        const KanvoImage image = KanvoImageDecodeService::decodeFile(path);
        QVERIFY2(
            !header.size.has_value() || image.isNull(),
            qPrintable(QStringLiteral("shown as a %1 picture, but the reference refuses it: %2")
                           .arg(sizeText(image.size()), entry.referenceMessage)));
    }

    // Every JPEG, legal or not, decoded reduced in pieces (as a large photo's
    // first picture is) gives nothing, which leaves it to libjpeg, or what
    // libjpeg's reduced decode gives.
    void reducedJpegInPiecesIsLibjpegsOrNone_data() {
        QTest::addColumn<int>("index");
        skipWithoutCorpus();
        for (int i = 0; i < cases_.size(); ++i) {
            if (cases_.at(i).format == CorpusFormat::Jpeg) {
                QTest::newRow(qPrintable(cases_.at(i).name())) << i;
            }
        }
    }
    void reducedJpegInPiecesIsLibjpegsOrNone() {
        QFETCH(int, index);
        QFile file(QDir(root_).filePath(cases_.at(index).relativePath));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const std::span<const uchar> jpeg(reinterpret_cast<const uchar*>(bytes.constData()),
                                          size_t(bytes.size()));
        const QSize stored = KanvoJpegDecoder::readHeader(jpeg).storedSize;
        if (!stored.isValid() ||
            !KanvoImageDecoder::fitsAllocation(stored.width(), stored.height())) {
            return; // the decoder refuses it before any decoding
        }
        for (const int reduction : {4, 8}) {
            const QImage inPieces = KanvoJpegPreview::decode(jpeg, reduction, 3);
            if (inPieces.isNull()) {
                continue;
            }
            // One thread: libjpeg alone.
            const QImage libjpeg = KanvoJpegDecoder::decode(
                                       jpeg, KanvoImageDecoder::allocationLimitBytes, reduction, 1)
                                       .image;
            const PixelDifference difference = PixelComparison::compare(
                uprightImage(inPieces, kanvo::ui::jpegOrientation(jpeg)), libjpeg);
            QVERIFY2(difference.sameSize() && difference.maximum <= reducedDecodeTolerance,
                     qPrintable(QStringLiteral("at 1/%1, unlike libjpeg's: %2")
                                    .arg(reduction)
                                    .arg(libjpeg.isNull() ? QStringLiteral("it gives none")
                                                          : difference.describe())));
        }
    }

    // Every orientation of both photos comes out upright, like tag 1, and
    // its header reports the upright size.
    void photoComesOutUpright_data() {
        QTest::addColumn<QString>("relativePath");
        QTest::addColumn<QString>("uprightPath");
        skipWithoutCorpus();
        for (const char* photo : {"Landscape", "Portrait"}) {
            const QString upright = QStringLiteral("photo/orientation/%1_1.jpg").arg(photo);
            for (int tag = 0; tag <= 8; ++tag) {
                const QString path =
                    QStringLiteral("photo/orientation/%1_%2.jpg").arg(photo).arg(tag);
                QTest::addRow("orientation photos: %s", qPrintable(path)) << path << upright;
            }
        }
    }
    void photoComesOutUpright() {
        QFETCH(QString, relativePath);
        QFETCH(QString, uprightPath);
        const QString path = QDir(root_).filePath(relativePath);
        const QImage upright = decodedUpright(QDir(root_).filePath(uprightPath));
        QVERIFY2(!upright.isNull(), qPrintable(uprightPath + QStringLiteral(" does not decode")));
        const KanvoImage image = KanvoImageDecodeService::decodeFile(path);
        QVERIFY2(!image.isNull(), "does not decode");
        QVERIFY2(image.size() == upright.size(),
                 qPrintable(QStringLiteral("comes out %1, upright is %2")
                                .arg(sizeText(image.size()), sizeText(upright.size()))));
        const QSize reduced = upright.size() / orientationScale;
        const PixelDifference difference = PixelComparison::compare(
            image.full().scaled(reduced, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
            upright.scaled(reduced, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        QVERIFY2(difference.mean <= orientationMeanTolerance,
                 qPrintable(QStringLiteral("turned or mirrored unlike %1: at 1/%2 size, %3")
                                .arg(uprightPath)
                                .arg(orientationScale)
                                .arg(difference.describe())));
        const Header header = inspectHeader(path);
        QVERIFY2(header.size.has_value(),
                 qPrintable(QStringLiteral("header inspection refuses it: ") + header.refusal));
        QVERIFY2(*header.size == upright.size(),
                 qPrintable(QStringLiteral("header says %1, upright is %2")
                                .arg(sizeText(*header.size), sizeText(upright.size()))));
    }

    // Files made here with embedded profiles: each decodes to its samples
    // and is drawn as Little CMS converts it to sRGB; untagged, sRGB-tagged
    // and broken-profile files are drawn exactly as stored; and the patch
    // labelled RED is red on screen.
    void taggedFileIsConverted_data() {
        QTest::addColumn<int>("index");
        if (fixtures_.isEmpty()) {
            fixtures_ = TaggedFixtures::make(work_.path());
        }
        for (int i = 0; i < fixtures_.size(); ++i) {
            QTest::addRow("tagged files: %s", qPrintable(fixtures_.at(i).name)) << i;
        }
    }
    void taggedFileIsConverted() {
        QFETCH(int, index);
        const TaggedFixture& fixture = fixtures_.at(index);
        if (!fixture.missing.isEmpty()) {
            skipped_ = true;
            QSKIP(qPrintable(fixture.missing));
        }
        QCOMPARE(EmbeddedProfile::of(fixture.path, fixture.format).size(), fixture.profile.size());
        const ReferenceImage reference = references_->decode(fixture.path, fixture.format);
        QVERIFY2(!reference.pixels.isNull(), qPrintable(reference.failure));
        const QImage converted = ColourReference::toSrgb(reference, fixture.profile);
        if (fixture.converted) {
            QVERIFY2(!converted.isNull(), "Little CMS cannot convert the fixture's own profile");
        }

        const KanvoImage image = KanvoImageDecodeService::decodeFile(fixture.path);
        QVERIFY2(!image.isNull(), "does not open");
        const QImage stored = PixelComparison::upright(reference.pixels, fixture.orientation);
        const PixelDifference decoded = PixelComparison::compare(image.full(), stored);
        QVERIFY2(decoded.sameSize() &&
                     decoded.maximum <= decodeTolerance(fixture.format, reference),
                 qPrintable(QStringLiteral("samples differ from %1's: %2")
                                .arg(reference.decoder, decoded.describe())));

        // The mistake a person sees first, named as they would see it.
        const QImage shown = image.fullForDisplay();
        const QRgb red = meanColour(shown, fixture.redArea);
        QVERIFY2(qRed(red) >= 150 && qGreen(red) <= 90 && qBlue(red) <= 90,
                 qPrintable(QStringLiteral("the patch labelled RED is drawn ") + colourText(red)));
        if (fixture.converted) {
            const PixelDifference difference = PixelComparison::compare(
                shown, PixelComparison::upright(converted, fixture.orientation));
            QVERIFY2(difference.sameSize() && difference.mean <= conversionMeanTolerance,
                     qPrintable(QStringLiteral("drawn unlike Little CMS's conversion to sRGB: ") +
                                difference.describe()));
        } else {
            const PixelDifference difference = PixelComparison::compare(shown, image.full());
            QVERIFY2(
                difference.sameSize() && difference.maximum == 0,
                qPrintable(QStringLiteral("drawn unlike its samples: ") + difference.describe()));
        }
    }

private:
    void skipWithoutCorpus() {
        if (cases_.isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("no corpus at %1 (reference-verdicts.tsv not found; "
                                            "set KANVO_CORPUS_DIR to use another folder)")
                                 .arg(QDir::toNativeSeparators(root_))));
        }
    }

    // One row for each legal file, or for each refused one.
    void addCorpusRows(bool legal) {
        QTest::addColumn<int>("index");
        skipWithoutCorpus();
        for (int i = 0; i < cases_.size(); ++i) {
            if (cases_.at(i).isLegal() == legal) {
                QTest::newRow(qPrintable(cases_.at(i).name())) << i;
            }
        }
    }

    QImage decodedUpright(const QString& path) {
        if (!uprightPhotos_.contains(path)) {
            uprightPhotos_.insert(path, KanvoImageDecodeService::decodeFile(path).full());
        }
        return uprightPhotos_.value(path);
    }

    QTemporaryDir work_;
    std::unique_ptr<ReferenceDecoder> references_;
    QString root_;
    QList<CorpusCase> cases_;
    QList<TaggedFixture> fixtures_;
    QHash<QString, QImage> uprightPhotos_;
    CorpusTally tally_;
    bool skipped_ = false;
};

QTEST_MAIN(KanvoCorpusTest)
#include "KanvoCorpusTest.moc"
