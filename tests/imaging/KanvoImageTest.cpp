#include "imaging/KanvoImage.h"

#include "LibjpegEncoding.h"
#include "PixelDifference.h"
#include "PngChunks.h"
#include "SpngEncoding.h"
#include "TestImages.h"
#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoImageCache.h"
#include "imaging/KanvoImageFile.h"
#include "imaging/KanvoImageHalving.h"
#include "imaging/KanvoPngDecoder.h"
#include "imaging/KanvoPngUnfilter.h"
#include "imaging/colour/KanvoColorTransform.h"
#include "imaging/colour/KanvoDisplayProfile.h"
#include "imaging/jpeg/KanvoJpegDecoder.h"
#include "imaging/jpeg/KanvoJpegEncoder.h"
#include "imaging/jpeg/KanvoJpegPreview.h"

#include <QtEndian>
#include <QtTest>

namespace {

using kanvo::test::encoded;
using kanvo::test::photoLike;
using kanvo::test::spanOf;

KanvoImage imageOf(int width, int height) {
    return KanvoImage::withRepresentations(QImage(width, height, QImage::Format_RGB32));
}

// libjpeg's own reduced decode: one thread takes no other path.
QImage libjpegReduced(const QByteArray& jpeg, int reduction) {
    return KanvoJpegDecoder::decode(spanOf(jpeg), KanvoAllocation::largestImageBytes(), reduction,
                                    1)
        .image;
}

// libjpeg's reduced inverse DCT rounds in fixed point, the decode in pieces
// takes exact means: a few levels apart at most.
constexpr int reducedDecodeTolerance = 4;

} // namespace

class KanvoImageTest : public QObject {
    Q_OBJECT

private slots:
    // A reduced decode whose Huffman decoding is cut into pieces, however
    // many, gives libjpeg's reduced decode: grey and each chroma layout the
    // pieces take (4:2:2 widened as libjpeg widens it), sizes that end inside
    // an MCU, every reduction the layout allows.
    void reducedJpegInPiecesMatchesLibjpeg_data() {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<int>("reduction");
        QTest::addColumn<int>("pieces");
        const QImage photo = photoLike({1203, 877}, false);
        const std::pair<const char*, QByteArray> files[] = {
            {"4:2:0", encoded(photo, "jpg")},
            {"4:2:2", kanvo::test::libjpegEncoded(photo, {2, 1})},
            {"4:4:4", kanvo::test::libjpegEncoded(photo, {1, 1})},
            {"grey",
             encoded(photoLike({517, 1031}, false).convertToFormat(QImage::Format_Grayscale8),
                     "jpg")},
            {"4:2:0 with restart markers", kanvo::test::libjpegEncoded(photo, {2, 2, 5})},
            {"4:2:2 with restart markers", kanvo::test::libjpegEncoded(photo, {2, 1, 1})}};
        for (const auto& [layout, jpeg] : files) {
            for (const int reduction : {2, 4, 8}) {
                // 4:2:0 chroma at half size would need whole 8 x 8 blocks.
                if (reduction == 2 && QByteArray(layout).startsWith("4:2:0")) {
                    continue;
                }
                for (const int pieces : {1, 2, 3, 4}) {
                    QTest::addRow("%s 1/%d, %d pieces", layout, reduction, pieces)
                        << jpeg << reduction << pieces;
                }
            }
        }
    }
    void reducedJpegInPiecesMatchesLibjpeg() {
        QFETCH(QByteArray, jpeg);
        QFETCH(int, reduction);
        QFETCH(int, pieces);
        const QImage inPieces = KanvoJpegPreview::decode(spanOf(jpeg), reduction, pieces);
        QVERIFY(!inPieces.isNull());
        const PixelDifference d =
            PixelComparison::compare(inPieces, libjpegReduced(jpeg, reduction));
        QVERIFY2(d.sameSize() && d.maximum <= reducedDecodeTolerance, qPrintable(d.describe()));
    }

    // However the last byte is padded, an undamaged file decodes in any
    // number of pieces: the piece that reaches the end of the data stops
    // there, rather than taking the padding for a wrong guess. In a flat
    // picture with tables made for it, every block is two one-bit codes, and
    // the padding's ones begin no code.
    void jpegInPiecesDecodesToTheEnd() {
        for (int width = 320; width < 328; width += 2) {
            QImage flat(width, 240, QImage::Format_RGB32);
            flat.fill(qRgb(96, 96, 96));
            const QByteArray jpeg = kanvo::test::libjpegEncoded(
                flat, {.space = JCS_GRAYSCALE, .optimizedTables = true});
            const QImage inOne = KanvoJpegPreview::decode(spanOf(jpeg), 4, 1);
            QVERIFY(!inOne.isNull());
            for (const int threads : {2, 8}) {
                QCOMPARE(KanvoJpegPreview::decode(spanOf(jpeg), 4, threads), inOne);
            }
        }
    }

    // Layouts the pieces do not take come back null, for libjpeg to decode:
    // progressive files, full size, 4:2:0 halved (its chroma would need full
    // 8 x 8 blocks) and chroma subsampled down only (4:4:0).
    void otherJpegLayoutsAreLeftToLibjpeg() {
        const QImage photo = photoLike({640, 480}, false);
        QVERIFY(KanvoJpegPreview::decode(spanOf(encoded(photo, "jpg", true)), 4, 2).isNull());
        QVERIFY(KanvoJpegPreview::decode(spanOf(encoded(photo, "jpg")), 1, 2).isNull());
        QVERIFY(KanvoJpegPreview::decode(spanOf(encoded(photo, "jpg")), 2, 2).isNull());
        QVERIFY(KanvoJpegPreview::decode(spanOf(kanvo::test::libjpegEncoded(photo, {1, 2})), 4, 2)
                    .isNull());
    }

    // Damage is left to libjpeg, whose picture of it is the one shown: coded
    // data cut short or broken by a marker, restart markers out of order or
    // with bytes before them give null, and a changed byte gives null or
    // libjpeg's own picture, never another.
    void damagedJpegInPiecesIsLeftToLibjpeg() {
        const QByteArray jpeg = encoded(photoLike({800, 600}, false), "jpg");
        QByteArray withMarker = jpeg;
        withMarker.insert(jpeg.size() * 3 / 4, "\xFF\xD3", 2);
        const QByteArray restarts =
            kanvo::test::libjpegEncoded(photoLike({800, 600}, false), {2, 2, 3});
        const qsizetype marker = restarts.indexOf("\xFF\xD5", restarts.size() / 2);
        QByteArray reordered = restarts;
        reordered[marker + 1] = char(0xD6);
        QByteArray padded = restarts;
        padded.insert(marker, "\x5A", 1);
        for (const int pieces : {1, 2, 3}) {
            for (const QByteArray& damaged :
                 {jpeg.left(jpeg.size() * 2 / 3), withMarker, reordered, padded}) {
                QVERIFY(KanvoJpegPreview::decode(spanOf(damaged), 4, pieces).isNull());
            }
            QVERIFY(!KanvoJpegPreview::decode(spanOf(restarts), 4, pieces).isNull());
        }
        for (int i = 1; i < 40; ++i) {
            QByteArray changed = jpeg;
            const qsizetype at = 1000 + (jpeg.size() - 1100) * i / 40;
            changed[at] = char(changed.at(at) ^ (i * 37 % 255 + 1));
            const QImage inPieces = KanvoJpegPreview::decode(spanOf(changed), 4, 3);
            if (!inPieces.isNull()) {
                const PixelDifference d =
                    PixelComparison::compare(inPieces, libjpegReduced(changed, 4));
                QVERIFY2(d.sameSize() && d.maximum <= reducedDecodeTolerance,
                         qPrintable(QStringLiteral("byte %1 changed").arg(at)));
            }
        }
    }

    // Reconstructed in place, with the output starting as close before the
    // filtered row as the unfilter allows, a row comes out as it does into a
    // buffer of its own, for every filter and the narrowest rows.
    void pngRowsUnfilterInPlace_data() {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("filter");
        for (const int channels : {3, 4}) {
            for (const int width : {1, 2, 3, 37}) {
                for (int filter = 0; filter <= 4; ++filter) {
                    QTest::addRow("%d channels, %d wide, filter %d", channels, width, filter)
                        << channels << width << filter;
                }
            }
        }
    }
    void pngRowsUnfilterInPlace() {
        QFETCH(int, channels);
        QFETCH(int, width);
        QFETCH(int, filter);
        const QImage noise = photoLike({width * 2, 2}, false, quint32(width));
        const auto* bytes = noise.constBits();
        std::vector<std::uint8_t> filtered(bytes, bytes + 1 + width * channels);
        filtered[0] = std::uint8_t(filter);
        const std::vector<std::uint8_t> above(bytes + 4 * width, bytes + 8 * width);
        std::vector<std::uint8_t> expected(4 * size_t(width));
        QVERIFY(KanvoPngUnfilter::reconstructRow(filtered.data(), above.data(), expected.data(),
                                                 width, channels));
        const size_t ahead = channels == 3 ? size_t(std::max(width - 2, 0)) : 0;
        std::vector<std::uint8_t> shared(std::max(ahead + filtered.size(), expected.size()));
        std::copy(filtered.begin(), filtered.end(), shared.begin() + qsizetype(ahead));
        QVERIFY(KanvoPngUnfilter::reconstructRow(shared.data() + ahead, above.data(), shared.data(),
                                                 width, channels));
        QVERIFY(std::equal(expected.begin(), expected.end(), shared.begin()));
    }

    // Damage that libpng and libspng both refuse refuses the file, though
    // the fast path reads none of the chunks before the image data.
    void damagedPngGivesNull_data() {
        QTest::addColumn<QByteArray>("png");
        using kanvo::test::pngChunk;
        using kanvo::test::withChunkAfterHeader;
        const QByteArray png = kanvo::test::spngEncoded(
            photoLike({64, 64}, false).convertToFormat(QImage::Format_RGBX8888),
            SPNG_FILTER_CHOICE_ALL);
        const qsizetype data = png.indexOf("IDAT") + 4;
        QByteArray flipped = png;
        flipped[data + 100] = char(flipped[data + 100] ^ 0x10);
        QTest::newRow("image data failing its CRC") << flipped;
        QTest::newRow("image data cut short") << png.left(data + 200);
        QByteArray header = png;
        header[8 + 8 + 13] = char(header[8 + 8 + 13] ^ 1);
        QTest::newRow("header failing its CRC") << header;
        QTest::newRow("unknown critical chunk")
            << withChunkAfterHeader(png, pngChunk("ABCD", "1234"));
        QTest::newRow("second header")
            << withChunkAfterHeader(png, pngChunk("IHDR", QByteArray(13, '\1')));
        QByteArray palette = pngChunk("PLTE", QByteArray(6, '\0'));
        palette[palette.size() - 1] = char(palette.back() ^ 1);
        QTest::newRow("palette failing its CRC") << withChunkAfterHeader(png, palette);
    }
    void damagedPngGivesNull() {
        QFETCH(QByteArray, png);
        QVERIFY(KanvoImageFile(written("damaged.png", png)).decode().image.isNull());
    }

    // A profile or text chunk that inflates past the bound is not inflated
    // further: the PNG decoder refuses the file and libpng, which drops such
    // a chunk, shows the image. One within the bound comes with the pixels.
    void pngMetadataBeyondTheBoundIsRefused() {
        const auto bound = qsizetype(KanvoPngDecoder::largestKeptChunkBytes);
        const std::tuple<const char*, QByteArray, qsizetype> chunks[] = {
            {"iCCP", QByteArray("name\0\0", 6), bound},
            {"iCCP", QByteArray("name\0\0", 6), bound + 1},
            {"zTXt", QByteArray("key\0\0", 5), bound + 1},
            {"iTXt", QByteArray("key\0\1\0\0\0", 8), bound + 1}};
        for (const auto& [type, prefix, inflatedBytes] : chunks) {
            QByteArray inflated(inflatedBytes, '\0');
            inflated.replace(16, 4, "RGB "); // a profile's colour space
            const QByteArray png = kanvo::test::withChunkAfterHeader(
                kanvo::test::spngEncoded(photoLike({16, 8}, false)),
                kanvo::test::pngChunk(type, prefix + kanvo::test::zlibCompressed(inflated)));
            const bool kept = inflatedBytes <= bound;
            const KanvoDecodedPixels decoded =
                KanvoPngDecoder::decode(spanOf(png), KanvoAllocation::largestImageBytes());
            QVERIFY2(decoded.image.isNull() == !kept, type);
            QCOMPARE(decoded.iccProfile.bytes().size(),
                     kept && QByteArray(type) == "iCCP" ? inflatedBytes : 0);
            QCOMPARE(KanvoImageFile(written("metadata.png", png)).decode().image.size(),
                     QSize(16, 8));
        }
    }

    // Past Qt's default 128 MB allocation limit, through Qt's reader.
    void largePpmDecodes() {
        const QByteArray ppm = "P6\n6000 6000\n255\n" + QByteArray(6000 * 6000 * 3, '\x40');
        QCOMPARE(KanvoImageFile(written("large.ppm", ppm)).decode().image.size(),
                 QSize(6000, 6000));
    }

    // The signature picks the decoder, whatever the name says.
    void formatComesFromTheSignature() {
        const QString path = dir_.filePath("actually-a-png.jpg");
        QVERIFY(photoLike({20, 10}, false).save(path, "PNG"));
        QCOMPARE(KanvoImageFile(path).decode().image.size(), QSize(20, 10));
    }

    // Missing, empty, a signature then garbage, a header beyond the
    // allocation limit, text.
    void unreadableFilesGiveNull() {
        QVERIFY(KanvoImageFile(dir_.filePath("missing.png")).decode().image.isNull());
        const QByteArray garbage(64, 'x');
        for (const QByteArray& bytes :
             {QByteArray(), QByteArray("\x89PNG\r\n\x1a\n", 8) + garbage,
              QByteArray("\xff\xd8\xff\xe0", 4) + garbage,
              QByteArray("P6\n100000 100000\n255\n") + garbage, QByteArray("plain text\n")}) {
            QVERIFY2(KanvoImageFile(written("bad.png", bytes)).decode().image.isNull(),
                     bytes.left(20).constData());
        }
    }

    // The one size check before any allocation: exact at the limit, and a
    // header's largest claims must not overflow on the way to a refusal.
    void allocationCheckIsExactAndNeverOverflows() {
        constexpr qint64 limit = qint64(1) << 30;
        const qint64 side = qint64(1) << 14; // 16384 x 16384 x 4 bytes is the 1 GiB limit
        // At the limit, a row more, one pixel wide, PNG's largest claim, 64-bit claims, zero
        // and negative sides.
        for (const auto& [width, height, fits] : {std::tuple{side, side, true},
                                                  {side, side + 1, false},
                                                  {qint64(1), side * side, true},
                                                  {qint64(INT32_MAX), qint64(INT32_MAX), false},
                                                  {INT64_MAX, INT64_MAX, false},
                                                  {qint64(0), qint64(480), false},
                                                  {qint64(640), qint64(-480), false}}) {
            QCOMPARE(KanvoAllocation::fits(width, height, limit), fits);
            QCOMPARE(KanvoAllocation::fits(height, width, limit), fits);
        }
    }

    // An embedded profile is used only when its bytes hold all its header
    // claims: a byte short, or a claim smaller than a header, and the image
    // is drawn as stored. Bytes past the claim are padding.
    void profileIsUsedOnlyWhenComplete() {
        KanvoDisplayProfile::setCurrent({});
        const QByteArray wide = kanvo::test::wideGamutProfile();
        QByteArray claimsLessThanAHeader = wide;
        qToBigEndian(quint32(127), claimsLessThanAHeader.data());
        QVERIFY(KanvoColorTransform::toDisplay(wide));
        QVERIFY(KanvoColorTransform::toDisplay(wide + QByteArray(64, '\0')));
        QVERIFY(!KanvoColorTransform::toDisplay(wide.chopped(1)));
        QVERIFY(!KanvoColorTransform::toDisplay(claimsLessThanAHeader));
        QVERIFY(!KanvoColorTransform::toDisplay(wide.left(127)));
    }

    // A profile goes out in APP2 segments of at most 65519 bytes each, up to
    // the 255 that their one-byte count allows, and libjpeg puts it back
    // together byte for byte; one that needs a 256th segment is left out.
    void jpegProfileSplitsOverSegmentsAndReadsBack() {
        constexpr qsizetype segment = 65519;
        const QImage photo = photoLike({16, 8});
        // One full segment, a byte into the second, 255 full, a byte into a 256th.
        for (const auto& [size, embedded] : {std::pair{segment, true},
                                             {segment + 1, true},
                                             {255 * segment, true},
                                             {255 * segment + 1, false}}) {
            // The decoder keeps a profile whose header names the image's colour model.
            QByteArray profile(size, '\0');
            for (qsizetype i = 0; i < size; ++i) {
                profile[i] = char(i * 7 % 251);
            }
            profile.replace(16, 4, "RGB ");
            QBuffer jpeg;
            jpeg.open(QIODevice::WriteOnly);
            QVERIFY(KanvoJpegEncoder::write(
                jpeg, photo.size(), false, profile, [&](int first, int end) {
                    return photo.copy(0, first, photo.width(), end - first);
                }));
            const KanvoDecodedPixels decoded =
                KanvoJpegDecoder::decode(spanOf(jpeg.data()), KanvoAllocation::largestImageBytes());
            QCOMPARE(decoded.image.size(), QSize(16, 8));
            QVERIFY2((decoded.iccProfile == profile) == embedded,
                     qPrintable(QString::number(size)));
        }
    }

    // Halving stops at the first level whose longer side is at most 256, odd
    // sides rounding up; the cost counts every level; the level drawn is the
    // one just above the drawn size.
    void pyramidLevelsAndTheOneDrawn() {
        QList<QSize> sizes;
        const KanvoImage narrow = imageOf(1001, 3);
        for (const QImage& level : narrow.representations()) {
            sizes << level.size();
        }
        QCOMPARE(sizes, (QList<QSize>{{1001, 3}, {501, 2}, {251, 1}}));
        QCOMPARE(imageOf(256, 40).representations().size(), 1);
        QVERIFY(KanvoImage::withRepresentations(QImage()).isNull());
        const KanvoImage big = imageOf(2000, 1000);
        QCOMPARE(big.byteCount(),
                 qsizetype(4) * (2000 * 1000 + 1000 * 500 + 500 * 250 + 250 * 125));
        for (const auto& [drawn, level] : {std::pair{QSize(4000, 2000), QSize(2000, 1000)},
                                           {{1001, 10}, {2000, 1000}},
                                           {{1000, 500}, {1000, 500}},
                                           {{600, 300}, {1000, 500}},
                                           {{10, 10}, {250, 125}}}) {
            QCOMPARE(big.representationFor(drawn).size(), level);
        }
    }

    // Averaged premultiplied, an opaque pixel beside transparent ones keeps its hue.
    void halvingKeepsTransparentEdgesClean() {
        QImage source(2, 2, QImage::Format_RGBA8888);
        source.fill(QColor(0, 0, 255, 0)); // transparent, with blue where colour would be
        source.setPixelColor(0, 0, QColor(255, 0, 0, 255));
        const QImage half = KanvoImageHalving::halved(source);
        QCOMPARE(half.format(), QImage::Format_RGBA8888_Premultiplied);
        const QColor mean = half.pixelColor(0, 0);
        QCOMPARE((QList<int>{mean.red(), mean.green(), mean.blue(), mean.alpha()}),
                 (QList<int>{255, 0, 0, 64}));
    }

    // Least recently used goes first, by count or by bytes; what cannot fit
    // is not kept. Images under 256 pixels a side have no halvings.
    void cacheEvictsByCountAndBudget() {
        KanvoImageCache cache(10000);
        for (int i = 0; i < 9; ++i) {
            cache.insert(QString::number(i), imageOf(25, 1));
        }
        QCOMPARE(cache.count(), KanvoImageCache::countLimit);
        QVERIFY(cache.take("0").isNull());
        QVERIFY(!cache.take("1").isNull()); // now the most recent
        cache.insert("big", imageOf(50, 47));
        QVERIFY(!cache.take("1").isNull());
        QVERIFY(cache.take("2").isNull());
        QCOMPARE(cache.bytes(), 9400 + 6 * 100);
        cache.insert("too big", imageOf(41, 61));
        QVERIFY(cache.take("too big").isNull());
        cache.makeRoom(9700);
        QCOMPARE(cache.bytes(), 100);
        QVERIFY(!cache.take("1").isNull());
    }

    void budgetFollowsTheEnvironment() {
        qputenv("KANVO_CACHE_MB", "64");
        QCOMPARE(KanvoAllocation::budgetBytes(), qint64(64) << 20);
        qputenv("KANVO_CACHE_MB", "0.5"); // a budget small enough to force tiles in tests
        QCOMPARE(KanvoAllocation::budgetBytes(), qint64(512) << 10);
        qputenv("KANVO_CACHE_MB", "9000000000000000000"); // times a mebibyte, past 64 bits
        QVERIFY(KanvoAllocation::budgetBytes() > qint64(1) << 60);
        qunsetenv("KANVO_CACHE_MB");
        const qint64 budget = KanvoAllocation::budgetBytes();
        QVERIFY(budget > 0 && budget <= qint64(4) << 30);
    }

    // With a 16 MiB budget an image's pixels may take 3 MiB (a quarter with
    // its pyramid): 1024 x 768 decodes whole in every format, a row more
    // does not.
    void largestImageFollowsTheBudget() {
        qputenv("KANVO_CACHE_MB", "16");
        for (const char* format : {"png", "jpeg", "ppm"}) {
            for (const int height : {768, 769}) {
                const QString name = QStringLiteral("budget-%1.%2").arg(height).arg(format);
                const QImage decoded =
                    KanvoImageFile(written(name, encoded(photoLike({1024, height}), format)))
                        .decode()
                        .image;
                QVERIFY2(decoded.isNull() == (height > 768), qPrintable(name));
            }
        }
        qunsetenv("KANVO_CACHE_MB");
    }

private:
    // The path of a new file in the test folder holding `bytes`.
    QString written(const QString& name, const QByteArray& bytes) {
        QFile file(dir_.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            qFatal("cannot write %s", qPrintable(file.fileName()));
        }
        return file.fileName();
    }

    QTemporaryDir dir_;
};

QTEST_MAIN(KanvoImageTest)
#include "KanvoImageTest.moc"
