// The code that runs threads of Kanvo's own, driven from plain std::threads
// rather than Qt's thread pool, so that ThreadSanitizer (the tsan preset)
// sees every hand-over: JPEG stripes, pyramid halving, whole decode jobs side
// by side, and decoded images passing between threads through the cache.
// GoogleTest, not Qt Test: Qt Test's watchdog thread is started and joined
// inside QtCore, where ThreadSanitizer cannot see the join.
#include "LibjpegEncoding.h"
#include "TestImages.h"
#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoImage.h"
#include "imaging/KanvoImageCache.h"
#include "imaging/KanvoImageDecodeService.h"
#include "imaging/KanvoImageHalving.h"
#include "imaging/KanvoParallel.h"
#include "imaging/jpeg/KanvoJpegDecoder.h"
#include "imaging/jpeg/KanvoJpegPreview.h"
#include "imaging/jpeg/KanvoJpegStripes.h"

#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>

namespace {

using kanvo::test::encoded;
using kanvo::test::photoLike;
using kanvo::test::spanOf;

// The mean of each 2 x 2 block, one pixel at a time: what the banded
// halving must give.
QImage halvedOneByOne(const QImage& source) {
    QImage half((source.width() + 1) / 2, (source.height() + 1) / 2, QImage::Format_RGB32);
    for (int y = 0; y < half.height(); ++y) {
        for (int x = 0; x < half.width(); ++x) {
            int sums[3] = {};
            for (const QPoint& p : {QPoint(2 * x, 2 * y), QPoint(2 * x + 1, 2 * y),
                                    QPoint(2 * x, 2 * y + 1), QPoint(2 * x + 1, 2 * y + 1)}) {
                const QRgb c = source.pixel(std::min(p.x(), source.width() - 1),
                                            std::min(p.y(), source.height() - 1));
                sums[0] += qRed(c);
                sums[1] += qGreen(c);
                sums[2] += qBlue(c);
            }
            half.setPixel(x, y, qRgb((sums[0] + 2) / 4, (sums[1] + 2) / 4, (sums[2] + 2) / 4));
        }
    }
    return half;
}

} // namespace

// Stripes run on as many threads as asked, whatever the machine's cores, and
// meet pixel for pixel where one pass of libjpeg would be.
TEST(KanvoThreads, JpegStripesMeetWithoutASeam) {
    const QByteArray jpeg = encoded(photoLike({320, 1600}, false, 1), "jpg");
    const QImage onePass =
        KanvoJpegDecoder::decode(spanOf(jpeg), KanvoAllocation::largestImageBytes(), 1, 1).image;
    ASSERT_FALSE(onePass.isNull());
    for (const int threads : {2, 4}) {
        // Qt writes 4:2:0, so an iMCU row is 16 pixel rows.
        const size_t stripes =
            KanvoJpegStripes::plan({320, 1600, 16, false, size_t(jpeg.size())}, threads).size();
        EXPECT_TRUE(stripes >= 2 && stripes <= size_t(threads)) << stripes;
        EXPECT_TRUE(
            KanvoJpegDecoder::decode(spanOf(jpeg), KanvoAllocation::largestImageBytes(), 1, threads)
                .image == onePass)
            << threads;
    }
}

// The pieces of a reduced decode follow each other's MCUs while they are
// being decoded (or start at restart markers), then place and convert their
// bands: the same samples as one piece alone.
TEST(KanvoThreads, ReducedJpegPiecesMeetWithoutASeam) {
    const QImage image = photoLike({900, 1400}, false, 3);
    for (const QByteArray& jpeg :
         {encoded(image, "jpg"), kanvo::test::libjpegEncoded(image, {2, 2, 4})}) {
        const QImage onePiece = KanvoJpegPreview::decode(spanOf(jpeg), 4, 1);
        ASSERT_FALSE(onePiece.isNull());
        EXPECT_TRUE(KanvoJpegPreview::decode(spanOf(jpeg), 4, 4) == onePiece);
    }
}

TEST(KanvoThreads, HalvingBandsMeetWithoutASeam) {
    const QImage source = photoLike({517, 771}, false, 2);
    EXPECT_TRUE(KanvoImageHalving::halved(source) == halvedOneByOne(source));
}

// Three files decoded at once, each job running its own stripe and
// halving threads, match the same files decoded one after another.
TEST(KanvoThreads, DecodeJobsSideBySide) {
    QTemporaryDir dir;
    QStringList paths;
    for (const auto& [name, format] :
         {std::pair{"tall.jpg", "jpg"}, {"wide.png", "png"}, {"square.jpg", "jpg"}}) {
        const QSize size = QString(name).startsWith("tall")   ? QSize(300, 1400)
                           : QString(name).startsWith("wide") ? QSize(1300, 500)
                                                              : QSize(900, 900);
        paths << dir.filePath(name);
        ASSERT_TRUE(
            photoLike(size, false, quint32(paths.size())).save(paths.constLast(), format, 90));
    }
    QList<QImage> alone;
    for (const QString& path : paths) {
        alone << KanvoImageDecodeService::decodeFile(path).pixels();
    }
    QList<QImage> together(paths.size() * 2);
    forEachInParallel(int(together.size()), [&](int i) {
        together[i] = KanvoImageDecodeService::decodeFile(paths.at(i % paths.size())).pixels();
    });
    for (int i = 0; i < together.size(); ++i) {
        EXPECT_TRUE(together.at(i) == alone.at(i % paths.size())) << i;
    }
}

// Decoded images go into the cache on three threads and come out on
// three others, which read their pixels, while the cache evicts by count
// and by bytes; the cache is locked as the decode service locks it.
TEST(KanvoThreads, ImagesCrossThreadsThroughTheCache) {
    KanvoImageCache cache(qint64(4) << 20);
    std::mutex lock;
    std::atomic<int> writing = 3;
    std::atomic<int> read = 0;
    forEachInParallel(6, [&](int thread) {
        if (thread < 3) {
            for (int round = 0; round < 20; ++round) {
                const KanvoImage image = KanvoImage::withRepresentations(
                    photoLike({300 + round, 300}, false, quint32(thread * 100 + round)));
                const std::lock_guard held(lock);
                cache.insert(QString::number((thread + round) % 12), image);
            }
            --writing;
            return;
        }
        for (int key = 0; writing > 0; key = (key + 1) % 12) {
            KanvoImage image;
            {
                const std::lock_guard held(lock);
                image = cache.take(QString::number(key));
            }
            if (!image.isNull()) {
                const QImage& smallest = image.representations().constLast();
                read += qAlpha(smallest.pixel(smallest.width() - 1, 0)) == 255;
            }
        }
    });
    EXPECT_GT(read, 0);
    EXPECT_LE(cache.count(), KanvoImageCache::countLimit);
    EXPECT_LE(cache.bytes(), cache.budgetBytes());
}
