// The public test images against reference decoders: every legal file comes
// out as libpng or libjpeg-turbo decode it, turned upright and colour-managed;
// every file they refuse is refused; tagged files show the colours their
// profiles say. Each row is one file, named by its path.
#include "CorpusCases.h"
#include "PixelDifference.h"
#include "ReferenceDecoder.h"
#include "TaggedFixtures.h"
#include "TestImages.h"
#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoImageDecodeService.h"
#include "imaging/KanvoOrientation.h"
#include "imaging/jpeg/KanvoJpegDecoder.h"
#include "imaging/jpeg/KanvoJpegPreview.h"
#include "kanvo/ui/image_inspection.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

namespace {

using kanvo::test::spanOf;

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

// The size header inspection reports, or none and why it refused.
std::optional<QSize> inspectHeader(const QString& path, QString* refusal = nullptr) {
    try {
        const kanvo::ui::ImageInfo info = kanvo::ui::inspectImageFile(path.toStdString());
        return QSize(int(info.width), int(info.height));
    } catch (const std::exception& error) {
        if (refusal != nullptr) {
            *refusal = QString::fromUtf8(error.what());
        }
        return std::nullopt;
    }
}

} // namespace

class KanvoCorpusTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(work_.isValid());
        root_ = CorpusCases::corpusRoot();
        cases_ = CorpusCases::read(root_);
        const QStringList missing = ReferenceDecoder::missingPrograms();
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QStringLiteral("reference decoders missing: ") + missing.join(", ") +
                            " (scripts/install-deps.sh installs them)"));
    }

    // A file libpng, libjpeg-turbo or netpbm decode, with or without a
    // warning, shows as they show it once the header gate admits it: the
    // same size as its header says, the same samples turned upright, and on
    // screen converted by its profile.
    void legalFileMatchesReference_data() {
        addCorpusRows([](const CorpusCase& entry) { return entry.isLegal(); });
    }
    void legalFileMatchesReference() {
        QFETCH(int, index);
        const CorpusCase& entry = cases_.at(index);
        const QString& path = entry.path;
        const ReferenceImage reference = ReferenceDecoder::decode(path, entry.format);
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
        QString refusal;
        const std::optional<QSize> header = inspectHeader(path, &refusal);
        if (header.has_value()) {
            QVERIFY2(!image.isNull(),
                     qPrintable(QStringLiteral("refused, but %1 decodes it%2 (%3)")
                                    .arg(reference.decoder,
                                         entry.verdict == "warn" ? " with a warning" : "",
                                         entry.referenceMessage)));
            QVERIFY2(*header == image.size(),
                     qPrintable(QStringLiteral("header says %1, the upright pixels are %2")
                                    .arg(sizeText(*header), sizeText(image.size()))));
        } else {
            QVERIFY2(
                entry.verdict != "ok" || !CorpusCases::acceptedByHeaderRules(entry),
                qPrintable(QStringLiteral("header inspection refuses a clean file: ") + refusal));
            if (image.isNull()) {
                return;
            }
        }

        const QImage stored = PixelComparison::upright(reference.pixels, entry.exifOrientation);
        const QImage converted =
            PixelComparison::upright(reference.inSrgb(), entry.exifOrientation);
        // QImage holds no CMYK, so a CMYK file with a profile is decoded
        // through it: its decoded pixels are already the converted ones.
        const bool convertedWhenDecoded = !reference.cmyk.isEmpty() && !converted.isNull();
        const int tolerance = decodeTolerance(entry.format, reference);
        const PixelDifference decoded =
            PixelComparison::compare(image.pixels(), convertedWhenDecoded ? converted : stored);
        QVERIFY2(decoded.sameSize() &&
                     (convertedWhenDecoded ? decoded.mean <= conversionMeanTolerance
                                           : decoded.maximum <= tolerance),
                 qPrintable(QStringLiteral("pixels differ from %1's%2 (EXIF orientation %3): %4")
                                .arg(reference.decoder,
                                     convertedWhenDecoded ? " through its CMYK profile" : "")
                                .arg(entry.exifOrientation)
                                .arg(decoded.describe())));

        const QImage shown = image.fullForDisplay();
        if (converted.isNull()) {
            const PixelDifference difference = PixelComparison::compare(shown, stored);
            QVERIFY2(
                difference.sameSize() && difference.maximum <= tolerance,
                qPrintable(QStringLiteral("drawn unlike its samples, with %1: %2")
                               .arg(reference.profile.isEmpty() ? "no profile"
                                                                : "a profile that does not apply")
                               .arg(difference.describe())));
        } else {
            const PixelDifference difference = PixelComparison::compare(shown, converted);
            QVERIFY2(difference.sameSize() && difference.mean <= conversionMeanTolerance,
                     qPrintable(QStringLiteral("drawn unlike Little CMS's conversion of its "
                                               "%1-byte profile to sRGB: %2")
                                    .arg(reference.profile.size())
                                    .arg(difference.describe())));
        }
    }

    // A file the reference decoders refuse never becomes a picture: the
    // header gate refuses it, or decoding does. Nothing crashes either way.
    void refusedFileIsRefused_data() {
        addCorpusRows([](const CorpusCase& entry) { return !entry.isLegal(); });
    }
    void refusedFileIsRefused() {
        QFETCH(int, index);
        const CorpusCase& entry = cases_.at(index);
        const KanvoImage image = KanvoImageDecodeService::decodeFile(entry.path);
        QVERIFY2(
            !inspectHeader(entry.path).has_value() || image.isNull(),
            qPrintable(QStringLiteral("shown as a %1 picture, but the reference refuses it: %2")
                           .arg(sizeText(image.size()), entry.referenceMessage)));
    }

    // Every JPEG, legal or not, decoded reduced in pieces (as a large photo's
    // first picture is) gives nothing, which leaves it to libjpeg, or what
    // libjpeg's reduced decode gives.
    void reducedJpegInPiecesIsLibjpegsOrNone_data() {
        addCorpusRows([](const CorpusCase& entry) { return entry.format == CorpusFormat::Jpeg; });
    }
    void reducedJpegInPiecesIsLibjpegsOrNone() {
        QFETCH(int, index);
        const QByteArray bytes = kanvo::test::readFile(cases_.at(index).path);
        const QSize stored = KanvoJpegDecoder::readHeader(spanOf(bytes)).storedSize;
        if (!stored.isValid() || !KanvoAllocation::fits(stored.width(), stored.height(),
                                                        KanvoAllocation::largestImageBytes())) {
            return; // the decoder refuses it before any decoding
        }
        for (const int reduction : {4, 8}) {
            verifyPiecesAreLibjpegsOrNone(bytes, reduction, 3);
        }
    }

    // Files made to break the decode in pieces (header shapes it does not
    // implement, restart numbers past any MCU, a scan header cut by the end
    // of the file), at every reduction and piece count, with no size gate.
    void hostileJpegInPiecesIsLibjpegsOrNone_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("reduction");
        QTest::addColumn<int>("pieces");
        skipWithoutCorpus();
        const QDir folder(QDir(root_).filePath(QStringLiteral("jpeg/hostile-pieces")));
        for (const QString& name : folder.entryList({QStringLiteral("*.jpg")}, QDir::Files)) {
            for (const int reduction : {2, 4, 8}) {
                for (int pieces = 1; pieces <= 8; ++pieces) {
                    QTest::addRow("%s 1/%d %d pieces", qPrintable(name), reduction, pieces)
                        << folder.filePath(name) << reduction << pieces;
                }
            }
        }
    }
    void hostileJpegInPiecesIsLibjpegsOrNone() {
        QFETCH(QString, path);
        QFETCH(int, reduction);
        QFETCH(int, pieces);
        verifyPiecesAreLibjpegsOrNone(kanvo::test::readFile(path), reduction, pieces);
    }

    // Every orientation of both photos looks like tag 1. (Their headers'
    // upright sizes are held to the reference with the other legal files.)
    void photoComesOutUpright_data() {
        QTest::addColumn<QString>("uprightPath");
        skipWithoutCorpus();
        for (const char* photo : {"Landscape", "Portrait"}) {
            for (int tag = 0; tag <= 8; ++tag) {
                QTest::addRow("photo/orientation/%s_%d.jpg", photo, tag)
                    << QStringLiteral("photo/orientation/%1_1.jpg").arg(photo);
            }
        }
    }
    void photoComesOutUpright() {
        QFETCH(QString, uprightPath);
        const QImage upright =
            KanvoImageDecodeService::decodeFile(QDir(root_).filePath(uprightPath)).pixels();
        QVERIFY2(!upright.isNull(), qPrintable(uprightPath + QStringLiteral(" does not decode")));
        const QImage image =
            KanvoImageDecodeService::decodeFile(QDir(root_).filePath(QTest::currentDataTag()))
                .pixels();
        const QSize reduced = upright.size() / orientationScale;
        const PixelDifference difference = PixelComparison::compare(
            image.scaled(reduced, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
            upright.scaled(reduced, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        QVERIFY2(image.size() == upright.size() && difference.mean <= orientationMeanTolerance,
                 qPrintable(QStringLiteral("turned or mirrored unlike %1: %2 at 1/%3 size, %4")
                                .arg(uprightPath, sizeText(image.size()))
                                .arg(orientationScale)
                                .arg(difference.describe())));
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
            QTest::addRow("tagged/%s", qPrintable(fixtures_.at(i).name)) << i;
        }
    }
    void taggedFileIsConverted() {
        QFETCH(int, index);
        const TaggedFixture& fixture = fixtures_.at(index);
        if (!fixture.missing.isEmpty()) {
            QSKIP(qPrintable(fixture.missing));
        }
        const ReferenceImage reference = ReferenceDecoder::decode(fixture.path, fixture.format);
        QVERIFY2(!reference.pixels.isNull(), qPrintable(reference.failure));
        const QImage converted = reference.inSrgb();
        QVERIFY2(!fixture.converted || !converted.isNull(),
                 "Little CMS cannot convert the profile read back from it");

        const KanvoImage image = KanvoImageDecodeService::decodeFile(fixture.path);
        const PixelDifference decoded = PixelComparison::compare(
            image.pixels(), PixelComparison::upright(reference.pixels, fixture.orientation));
        QVERIFY2(decoded.sameSize() &&
                     decoded.maximum <= decodeTolerance(fixture.format, reference),
                 qPrintable(QStringLiteral("samples differ from %1's: %2")
                                .arg(reference.decoder, decoded.describe())));

        // The mistake a person sees first, named as they would see it.
        const QImage shown = image.fullForDisplay();
        const QColor red = shown.copy(TaggedFixtures::redArea)
                               .scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                               .pixelColor(0, 0);
        QVERIFY2(red.red() >= 150 && red.green() <= 90 && red.blue() <= 90,
                 qPrintable(QStringLiteral("the patch labelled RED is drawn ") + red.name()));
        const PixelDifference difference = PixelComparison::compare(
            shown, fixture.converted ? PixelComparison::upright(converted, fixture.orientation)
                                     : image.pixels());
        QVERIFY2(difference.sameSize() &&
                     (fixture.converted ? difference.mean <= conversionMeanTolerance
                                        : difference.maximum == 0),
                 qPrintable((fixture.converted ? QStringLiteral("drawn unlike Little CMS's "
                                                                "conversion to sRGB: ")
                                               : QStringLiteral("drawn unlike its samples: ")) +
                            difference.describe()));
    }

private:
    // The decode in pieces gives nothing, or what libjpeg's one-thread
    // reduced decode gives.
    static void verifyPiecesAreLibjpegsOrNone(const QByteArray& bytes, int reduction, int pieces) {
        const std::span<const uchar> jpeg = spanOf(bytes);
        const QImage inPieces = KanvoJpegPreview::decode(jpeg, reduction, pieces);
        if (inPieces.isNull()) {
            return;
        }
        const QImage libjpeg =
            KanvoJpegDecoder::decode(jpeg, KanvoAllocation::largestImageBytes(), reduction, 1)
                .image;
        const PixelDifference difference = PixelComparison::compare(
            uprightImage(inPieces, kanvo::ui::jpegOrientation(jpeg)), libjpeg);
        QVERIFY2(difference.sameSize() && difference.maximum <= reducedDecodeTolerance,
                 qPrintable(QStringLiteral("at 1/%1 in %2 pieces, unlike libjpeg's: %3")
                                .arg(reduction)
                                .arg(pieces)
                                .arg(libjpeg.isNull() ? QStringLiteral("it gives none")
                                                      : difference.describe())));
    }

    void skipWithoutCorpus() {
        if (cases_.isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("no corpus at %1 (reference-verdicts.tsv not found; "
                                            "set KANVO_CORPUS_DIR to use another folder)")
                                 .arg(QDir::toNativeSeparators(root_))));
        }
    }

    // One row, named by its path, for each file `wanted` picks.
    template <typename Filter> void addCorpusRows(Filter wanted) {
        QTest::addColumn<int>("index");
        skipWithoutCorpus();
        for (int i = 0; i < cases_.size(); ++i) {
            if (wanted(cases_.at(i))) {
                QTest::newRow(qPrintable(cases_.at(i).relativePath)) << i;
            }
        }
    }

    QTemporaryDir work_;
    QString root_;
    QList<CorpusCase> cases_;
    QList<TaggedFixture> fixtures_;
};

QTEST_MAIN(KanvoCorpusTest)
#include "KanvoCorpusTest.moc"
