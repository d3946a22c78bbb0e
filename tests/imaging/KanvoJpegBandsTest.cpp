#include "imaging/jpeg/KanvoJpegBands.h"

#include "LibjpegEncoding.h"
#include "TestImages.h"
#include "imaging/jpeg/KanvoJpegDecoder.h"

#include <QDir>
#include <gtest/gtest.h>
#include <limits>

namespace {

using kanvo::test::libjpegEncoded;
using kanvo::test::LibjpegLayout;
using kanvo::test::photoLike;
using kanvo::test::spanOf;

// libjpeg's decode of the whole image in one pass, before orientation (the
// files here carry none).
QImage wholeDecode(const QByteArray& file, int reduction) {
    return KanvoJpegDecoder::decode(spanOf(file), std::numeric_limits<qint64>::max(), reduction, 1)
        .image;
}

// At every reduction, each area's region is the same area of the whole
// decode, byte for byte; where libjpeg refuses the file, so does index().
void expectRegionsOfWholeDecode(const QByteArray& file, quint32 seed = 1) {
    const std::unique_ptr<KanvoBandDecoder> bands = KanvoJpegBands::index(file);
    for (const int reduction : {1, 2, 4, 8}) {
        const QImage whole = wholeDecode(file, reduction);
        if (whole.isNull()) {
            continue; // libjpeg fails there; a region may or may not
        }
        ASSERT_TRUE(bands);
        for (const QRect& area :
             kanvo::test::areasToCheck(whole.size(), seed + quint32(reduction))) {
            EXPECT_TRUE(bands->region(area, reduction) == whole.copy(area))
                << "reduction " << reduction << ", area "
                << kanvo::test::areaText(area).toStdString();
        }
    }
}

// Baseline files give random access: regions start at the rows index() records.
TEST(KanvoJpegBands, RegionsAreTheWholeDecodesPixels) {
    const QImage image = photoLike({203, 157});
    for (const auto& [name, layout] : kanvo::test::libjpegLayouts) {
        SCOPED_TRACE(name);
        const QByteArray file = libjpegEncoded(image, layout);
        const std::unique_ptr<KanvoBandDecoder> bands = KanvoJpegBands::index(file);
        ASSERT_TRUE(bands);
        EXPECT_EQ(static_cast<const KanvoJpegBands&>(*bands).randomAccess(), !layout.progressive);
        expectRegionsOfWholeDecode(file);
    }
}

// Wide enough for bands cut to the columns around a region, with a priming
// MCU on the left, or on the right where the band starts at the left edge.
TEST(KanvoJpegBands, RegionsOfCutBandsAreTheWholeDecodesPixels) {
    const QImage image = photoLike({1203, 83});
    for (const auto& [name, layout] : kanvo::test::libjpegLayouts) {
        SCOPED_TRACE(name);
        expectRegionsOfWholeDecode(libjpegEncoded(image, layout), 7);
    }
}

// A cut anywhere and a changed byte in the coded data give what libjpeg
// makes of them; a cut inside the header, nothing.
TEST(KanvoJpegBands, DamageComesOutAsLibjpegsDecode) {
    const QByteArray intact = libjpegEncoded(photoLike({203, 157}), LibjpegLayout{2, 2});
    const QByteArray restarts = libjpegEncoded(photoLike({203, 157}), LibjpegLayout{2, 1, 5});
    for (const QByteArray& file : {intact, restarts}) {
        for (const double cut : {0.1, 0.5, 0.9}) {
            SCOPED_TRACE(cut);
            expectRegionsOfWholeDecode(file.left(qsizetype(double(file.size()) * cut)));
        }
        for (const double at : {0.3, 0.6, 0.95}) {
            SCOPED_TRACE(at);
            QByteArray flipped = file;
            flipped[qsizetype(double(file.size()) * at)] ^= 0x5A;
            expectRegionsOfWholeDecode(flipped);
        }
    }
    EXPECT_FALSE(KanvoJpegBands::index(intact.left(100)));
}

// The public files of other layouts and of hostile structure (the folder
// beside the project), where present.
TEST(KanvoJpegBands, CorpusFilesComeOutAsLibjpegsDecode) {
    const QDir corpus(QStringLiteral(KANVO_CORPUS_DEFAULT_DIR "/jpeg"));
    int files = 0;
    for (const char* folder : {"libjpeg-turbo-variants", "hostile-pieces"}) {
        const QDir dir(corpus.filePath(QString::fromLatin1(folder)));
        for (const QString& name : dir.entryList({QStringLiteral("*.jpg")}, QDir::Files)) {
            SCOPED_TRACE(name.toStdString());
            expectRegionsOfWholeDecode(kanvo::test::readFile(dir.filePath(name)));
            ++files;
        }
    }
    if (files == 0) {
        GTEST_SKIP() << "no corpus beside the project";
    }
}

} // namespace
