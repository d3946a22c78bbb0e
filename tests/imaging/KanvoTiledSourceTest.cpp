#include "imaging/KanvoTiledSource.h"

#include "TestImages.h"
#include "imaging/KanvoImageHalving.h"
#include "imaging/KanvoOrientation.h"
#include "imaging/KanvoOverviewBuilder.h"

#include <QRandomGenerator>
#include <QtTest>

using kanvo::test::photoLike;

namespace {

// The stored pixels held whole: the tiled source's mapping, halving and
// caching are what is under test here; the codecs' band decoders have tests
// of their own against their whole decodes.
class HeldPixels : public KanvoBandDecoder {
public:
    explicit HeldPixels(QImage stored) : stored_(std::move(stored)) {}
    int largestReduction() const override { return 1; }
    QImage region(QRect area, int reduction) const override {
        return reduction == 1 && stored_.rect().contains(area) ? stored_.copy(area) : QImage();
    }

private:
    QImage stored_;
};

QImage halvedTimes(QImage image, int reduction) {
    for (; reduction > 1; reduction /= 2) {
        image = KanvoImageHalving::halved(image);
    }
    return image;
}

std::shared_ptr<KanvoTiledSource> sourceOf(const QImage& stored, int orientation,
                                           qint64 budget = qint64(64) << 20) {
    return std::make_shared<KanvoTiledSource>(std::make_unique<HeldPixels>(stored), stored.size(),
                                              orientation, KanvoIccProfile(), budget, 0);
}

} // namespace

class KanvoTiledSourceTest : public QObject {
    Q_OBJECT

private slots:
    // Every upright area at every tile level is the whole image's pixels
    // there, turned and halved as the pyramid of the whole image would be.
    void regionsAreTheWholeImagesPixels() {
        const QImage stored = photoLike({301, 173}, true);
        QRandomGenerator random(3);
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const auto source = sourceOf(stored, orientation);
            for (int reduction : {1, 2, 4}) {
                const QImage whole = halvedTimes(uprightImage(stored, orientation), reduction);
                QCOMPARE(source->levelSize(reduction), whole.size());
                const QRect level = whole.rect();
                for (const QRect& area : {level, QRect(level.bottomRight(), QSize(1, 1)),
                                          QRect(int(random.bounded(level.width())),
                                                int(random.bounded(level.height())), 37, 21) &
                                              level}) {
                    QVERIFY2(source->uprightRegion(area, reduction) == whole.copy(area),
                             qPrintable(QStringLiteral("orientation %1, 1/%2, %3")
                                            .arg(orientation)
                                            .arg(reduction)
                                            .arg(kanvo::test::areaText(area))));
                }
            }
        }
    }

    // Asked-for tiles arrive on the GUI thread and then cover the area with
    // their own pixels; a budget smaller than a screenful keeps those in use.
    void tilesArriveAndStayWithinTheBudget() {
        const QImage stored = photoLike({1300, 700});
        const auto source = sourceOf(stored, 1, 1);
        int arrivals = 0;
        source->setArrivalHandler([&arrivals] { ++arrivals; });
        const QRect area(100, 100, 1100, 500);
        QVERIFY(source->covering(1, area).isEmpty());
        QTRY_COMPARE(source->covering(1, area).size(), 6);
        QTRY_VERIFY(arrivals >= 6); // announced by queued calls, after the tiles are kept
        for (const KanvoTiledSource::Tile& tile : source->covering(1, area)) {
            QCOMPARE(tile.pixels, stored.copy(tile.area));
            QVERIFY(tile.area.contains(tile.inner));
        }
        // Another place evicts the first: at most what is in use stays.
        QTRY_COMPARE(source->covering(1, QRect(0, 600, 10, 10)).size(), 1);
        QCOMPARE(source->covering(1, QRect(0, 0, 10, 10)).size(), 0);
    }

    void levelFollowsTheDrawnSize() {
        const auto source = sourceOf(QImage(8000, 4000, QImage::Format_RGB32), 1);
        QCOMPARE(source->reductionFor({1000, 500}), 0); // the overview's own size
        QCOMPARE(source->reductionFor({1001, 400}), 4);
        QCOMPARE(source->reductionFor({4000, 2000}), 2);
        QCOMPARE(source->reductionFor({4001, 10}), 1);
        QCOMPARE(source->reductionFor({16000, 8000}), 1);
    }

    // Rows handed over one by one give the pyramid's third halving; while
    // they come, the overview so far is its rows made and transparency below.
    void overviewOfRowsIsTheThirdHalving() {
        for (const QSize size : {QSize(130, 64), QSize(129, 200), QSize(7, 3)}) {
            const QImage image = photoLike(size, true).convertToFormat(QImage::Format_RGBA8888);
            KanvoOverviewBuilder builder(size.width(), size.height(), image.format());
            QImage sofar;
            for (int y = 0; y < size.height(); ++y) {
                QVERIFY(builder.addRow(image.constScanLine(y)));
                if (y == 64) {
                    sofar = builder.sofar();
                }
            }
            const QImage overview = builder.finish();
            QCOMPARE(overview, halvedTimes(image, 8));
            if (size.height() > 64) {
                QCOMPARE(sofar.size(), overview.size());
                QCOMPARE(sofar.copy(0, 0, overview.width(), 8),
                         overview.copy(0, 0, overview.width(), 8));
                QCOMPARE(sofar.copy(0, 8, overview.width(), overview.height() - 8)
                             .convertToFormat(QImage::Format_ARGB32),
                         [&] {
                             QImage clear(overview.width(), overview.height() - 8,
                                          QImage::Format_ARGB32);
                             clear.fill(Qt::transparent);
                             return clear;
                         }());
            }
        }
    }
};

QTEST_MAIN(KanvoTiledSourceTest)
#include "KanvoTiledSourceTest.moc"
