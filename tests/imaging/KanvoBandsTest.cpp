#include "MadePngs.h"
#include "PngChunks.h"
#include "SpngEncoding.h"
#include "TestImages.h"
#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoImageFile.h"
#include "imaging/KanvoPngBands.h"
#include "imaging/KanvoPngDecoder.h"
#include "imaging/KanvoPpmBands.h"

#include <QBuffer>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using kanvo::test::madePng;
using kanvo::test::PngKind;
using kanvo::test::spanOf;

QImage wholePng(const QByteArray& file) {
    return KanvoPngDecoder::decode(spanOf(file), KanvoAllocation::largestImageBytes()).image;
}

QImage wholePpm(const QByteArray& file) {
    QTemporaryDir folder;
    const QString path = folder.filePath("image.ppm");
    return kanvo::test::writeFile(path, file) ? KanvoImageFile(path).decode().image : QImage();
}

// Every row index() hands out and every region of areasToCheck() equal
// `whole`'s pixels byte for byte, in its format.
template <typename Bands>
void checkAgainst(const QImage& whole, const std::unique_ptr<Bands>& bands,
                  const QImage& rowsSeen) {
    QVERIFY(bands);
    QCOMPARE(rowsSeen, whole);
    for (const QRect& area : kanvo::test::areasToCheck(whole.size(), 3)) {
        const QImage region = bands->region(area, 1);
        QVERIFY2(region == whole.copy(area), qPrintable(kanvo::test::areaText(area)));
    }
    QVERIFY(bands->region(QRect(QPoint(0, 0), whole.size() + QSize(0, 1)), 1).isNull());
}

// A file held in memory, open for reading.
std::unique_ptr<QIODevice> inMemory(const QByteArray& file) {
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(file);
    buffer->open(QIODevice::ReadOnly);
    return buffer;
}

std::unique_ptr<KanvoPngBands> pngBands(const QByteArray& file,
                                        const KanvoPngBands::RowHandler& eachRow,
                                        qint64 checkpointInterval = 0, int rowsPerBatch = 0) {
    return KanvoPngBands::index(inMemory(file), eachRow, checkpointInterval, rowsPerBatch);
}

// Collects the rows index() hands out into an image like `whole`.
struct RowCollector {
    QImage image;
    KanvoPngBands::RowHandler handler() {
        return [this](int y, const uchar* pixels) {
            std::memcpy(image.scanLine(y), pixels, size_t(image.width()) * 4);
        };
    }
};

} // namespace

class KanvoBandsTest : public QObject {
    Q_OBJECT

private slots:
    void pngRowsAndRegionsAreTheWholeDecodes_data() {
        QTest::addColumn<int>("colourType");
        QTest::addColumn<int>("depth");
        QTest::addColumn<bool>("transparency");
        const QList<QPair<int, QList<int>>> kinds = {
            {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
        for (const auto& [colourType, depths] : kinds) {
            for (const int depth : depths) {
                for (const bool transparency : {false, true}) {
                    if (!transparency || colourType < 4) {
                        QTest::addRow("type %d, %d-bit%s", colourType, depth,
                                      transparency ? ", tRNS" : "")
                            << colourType << depth << transparency;
                    }
                }
            }
        }
    }

    // Blocks every 3 rows and a checkpoint at each: rows resumed mid-row,
    // mid-byte and in the middle of an IDAT chunk.
    void pngRowsAndRegionsAreTheWholeDecodes() {
        QFETCH(int, colourType);
        QFETCH(int, depth);
        QFETCH(bool, transparency);
        PngKind kind;
        kind.colourType = colourType;
        kind.depth = depth;
        kind.transparency = transparency;
        const QByteArray file = madePng(kind);
        const QImage whole = wholePng(file);
        QVERIFY(!whole.isNull());
        // Rows handed between the pass's threads one, two, or all at a time:
        // checkpoints whose row above comes in the next batch.
        for (const int rowsPerBatch : {1, 2, 0}) {
            RowCollector rows{QImage(whole.size(), whole.format())};
            const auto bands = pngBands(file, rows.handler(), 1, rowsPerBatch);
            QVERIFY(bands);
            QVERIFY(bands->checkpointCount() >= kind.height / kind.rowsPerBlock - 1);
            checkAgainst(whole, bands, rows.image);
        }
    }

    // libspng's encoder, each of its filter choices, blocks its own size: the
    // whole decode undoes every filter exactly, and the rows are the whole's.
    void pngFromAnEncoderIsTheWholeDecode() {
        for (const bool alpha : {false, true}) {
            for (const int filters :
                 {SPNG_FILTER_CHOICE_NONE, SPNG_FILTER_CHOICE_SUB, SPNG_FILTER_CHOICE_UP,
                  SPNG_FILTER_CHOICE_AVG, SPNG_FILTER_CHOICE_PAETH, SPNG_FILTER_CHOICE_ALL}) {
                const QImage image = kanvo::test::photoLike(QSize(611, 301), alpha);
                const QByteArray file = kanvo::test::spngEncoded(image, filters);
                QCOMPARE(wholePng(file), image.convertToFormat(alpha ? QImage::Format_RGBA8888
                                                                     : QImage::Format_RGBX8888));
                RowCollector rows{QImage(image.size(), wholePng(file).format())};
                const auto bands = pngBands(file, rows.handler(), 64 << 10);
                QVERIFY(bands && bands->checkpointCount() > 2);
                checkAgainst(wholePng(file), bands, rows.image);
            }
        }
    }

    // libspng shows an index beyond the palette as opaque black.
    void pngPaletteIndexBeyondThePaletteIsTheWholeDecodes() {
        for (const bool transparency : {false, true}) {
            PngKind kind;
            kind.colourType = 3;
            kind.transparency = transparency;
            QByteArray file = madePng(kind);
            const qsizetype palette = file.indexOf("PLTE") - 4;
            file.replace(palette, 12 + 3 * 256,
                         kanvo::test::pngChunk("PLTE", file.mid(palette + 8, 3 * 200)));
            const QImage whole = wholePng(file);
            RowCollector rows{QImage(whole.size(), whole.format())};
            checkAgainst(whole, pngBands(file, rows.handler(), 1), rows.image);
        }
    }

    // What the rows cannot be read from one by one is left to the whole
    // decode, which applies the damage policy.
    void pngThatOnlyTheWholeDecodeMayJudgeGivesNull_data() {
        QTest::addColumn<QByteArray>("file");
        PngKind interlaced;
        interlaced.interlaced = true;
        QTest::newRow("interlaced") << madePng(interlaced);
        const QByteArray good = madePng(PngKind{});
        const qsizetype firstData = good.indexOf("IDAT") + 4;
        QByteArray badCrc = good;
        badCrc[firstData + 10] = char(badCrc[firstData + 10] ^ 1);
        QTest::newRow("IDAT failing its CRC") << badCrc;
        QTest::newRow("truncated") << good.left(good.size() / 2);
        PngKind tall;
        tall.height += 1;
        QByteArray extraRow = madePng(tall);
        qToBigEndian(quint32(tall.height - 1), extraRow.data() + 8 + 8 + 4);
        extraRow.replace(8, 25, kanvo::test::pngChunk("IHDR", extraRow.mid(16, 13)));
        QTest::newRow("image data beyond the last row") << extraRow;
    }

    void pngThatOnlyTheWholeDecodeMayJudgeGivesNull() {
        QFETCH(QByteArray, file);
        QVERIFY(!pngBands(file, [](int, const uchar*) {}));
    }

    // The public PNGs and PPMs: wherever index() reads a file, Kanvo's
    // decode gives the same pixels, and refuses nothing index() reads.
    void publicFilesAreKanvosDecode_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("least");
        QTest::newRow("PNG") << QStringLiteral("png") << 200;
        QTest::newRow("PPM") << QStringLiteral("ppm") << 5;
    }

    void publicFilesAreKanvosDecode() {
        QFETCH(QString, folder);
        QFETCH(int, least);
        const QDir root(QStringLiteral(KANVO_CORPUS_DEFAULT_DIR "/") + folder);
        if (!root.exists()) {
            QSKIP("no public corpus");
        }
        const bool png = folder == "png";
        int read = 0;
        for (QDirIterator it(root.path(), {"*." + folder}, QDir::Files,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            const QByteArray file = kanvo::test::readFile(path);
            const QImage whole = png ? wholePng(file) : KanvoImageFile(path).decode().image;
            RowCollector rows{QImage(whole.size(), whole.format())};
            const KanvoPngBands::RowHandler handler =
                whole.isNull() ? [](int, const uchar*) {} : rows.handler();
            const std::unique_ptr<KanvoBandDecoder> bands =
                png ? std::unique_ptr<KanvoBandDecoder>(pngBands(file, handler, 1))
                    : KanvoPpmBands::index(inMemory(file), handler);
            QVERIFY2(!bands || !whole.isNull(), qPrintable(path));
            if (bands) {
                checkAgainst(whole, bands, rows.image);
                ++read;
            }
        }
        qInfo("%d public files read by rows", read);
        QVERIFY(read >= least);
    }

    void ppmRowsAndRegionsAreKanvosDecode_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("maxval");
        QTest::newRow("8-bit") << QByteArray("P6\n53 31\n255\n") << 255;
        QTest::newRow("16-bit") << QByteArray("P6 53 31 65535\n") << 65535;
        QTest::newRow("maxval 7") << QByteArray("P6\t53\r31\n7 ") << 7;
        QTest::newRow("maxval 1000, comments")
            << QByteArray("P6\n# made here\n53 # wide\n31\n1000#16-bit\n") << 1000;
    }

    void ppmRowsAndRegionsAreKanvosDecode() {
        QFETCH(QByteArray, header);
        QFETCH(int, maxval);
        QByteArray file = header;
        QRandomGenerator noise(5);
        for (int i = 0; i < 53 * 31 * 3; ++i) {
            const int value = int(noise.bounded(maxval + 1));
            if (maxval > 255) {
                file.append(char(value >> 8));
            }
            file.append(char(value));
        }
        const QImage whole = wholePpm(file);
        QVERIFY(!whole.isNull());
        RowCollector rows{QImage(whole.size(), whole.format())};
        checkAgainst(whole, KanvoPpmBands::index(inMemory(file), rows.handler()), rows.image);
    }

    void ppmOtherThanWholeBinaryRgbGivesNull() {
        const QByteArray pixel("abc");
        // A header that runs past what is read of it, cut off there before
        // the white space that ends it.
        const QByteArray longComment =
            "P6 #" + QByteArray(KanvoPpmBands::largestHeadBytes - 12, 'x') + "\n1 1 255";
        for (const QByteArray& file :
             {QByteArray("P5 3 1 255 ") + pixel, QByteArray("P3 1 1 255 97 98 99"),
              QByteArray("P6 2 1 255 ") + pixel, QByteArray("P6 1 1 90 ") + pixel,
              QByteArray("P6 32768 1 255 ") + QByteArray(32768 * 3, 'a'),
              QByteArray("P6 1 1 255abc"), longComment + ' ' + pixel}) {
            QVERIFY2(!KanvoPpmBands::index(inMemory(file), [](int, const uchar*) {}),
                     file.left(20));
        }
    }
};

QTEST_MAIN(KanvoBandsTest)
#include "KanvoBandsTest.moc"
