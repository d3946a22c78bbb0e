#include "PixelDifference.h"
#include "canvas/KanvoCanvasDrawing.h"
#include "canvas/KanvoCanvasView.h"
#include "imaging/KanvoImageDecodeService.h"
#include "imaging/KanvoImageFile.h"
#include "kit/KanvoNotifications.h"

#include <QColorSpace>
#include <QElapsedTimer>
#include <QPainter>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QThreadPool>
#include <QtTest>

namespace {

// Smooth gradients under light noise: a colour shift or a seam shows.
QImage photoLike(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator noise(3);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int n = int(noise.bounded(6));
            image.setPixel(
                x, y,
                qRgb(40 + x * 180 / size.width() + n, 200 - y * 150 / size.height() + n, 90 + n));
        }
    }
    return image;
}

struct Canvas {
    kanvo::ui::DocumentSession session;
    KanvoCanvasView view{QRectF(0, 0, 700, 500), nullptr};
    Canvas() { view.setSession(&session); }
    bool open(const QString& path) { return view.openImageURL(QUrl::fromLocalFile(path)); }
};

} // namespace

class KanvoCanvasPhotoTest : public QObject {
    Q_OBJECT

private slots:
    // A 2400 x 1600 JPEG in a 540-pixel-wide fitted view: a quarter decode
    // covers it and comes first, at the full image's size, and the full
    // decode replaces it in place; a completion comes exactly once.
    void largeJpegShowsAPreviewThenSharpens() {
        const QString path = dir_.filePath("large.jpg");
        QVERIFY(photoLike({2400, 1600}).save(path, "JPG", 90));
        Canvas c;
        QList<QSize> shown; // the pixels' size at each notification after the open
        const QMetaObject::Connection watching = connect(
            KanvoNotifications::defaultCenter(), &KanvoNotifications::documentSessionChanged, this,
            [&c, &shown] { shown.append(c.view.image().size()); });
        QVERIFY(c.open(path));
        QTRY_VERIFY(!c.view.image().isNull());
        QTRY_VERIFY(!c.view.showsPreview());
        disconnect(watching);
        QCOMPARE(shown, (QList<QSize>{QSize(0, 0), QSize(600, 400)}));
        QCOMPARE(c.view.image().size(), QSize(2400, 1600));
        QVERIFY(c.view.statusText().isEmpty());
    }

    // Export the moment the preview arrives (while the full decode still
    // waits for the preview to be drawn) writes the full image.
    void exportWaitsForTheFullImage() {
        const QString path = dir_.filePath("export-early.jpg");
        QVERIFY(photoLike({2400, 1600}).save(path, "JPG", 90));
        Canvas c;
        const QString out = dir_.filePath("exported.png");
        bool exportedFromPreview = false;
        const QMetaObject::Connection exporting =
            connect(KanvoNotifications::defaultCenter(),
                    &KanvoNotifications::documentSessionChanged, this, [&] {
                        if (c.view.showsPreview()) {
                            exportedFromPreview = c.view.exportImageURL(QUrl::fromLocalFile(out));
                        }
                    });
        QVERIFY(c.open(path));
        QTRY_VERIFY(!c.view.image().isNull());
        disconnect(exporting);
        QVERIFY(exportedFromPreview);
        QCOMPARE(QImage(out).size(), QSize(2400, 1600));
    }

    // The file's own pixels go out with the file's own profile, whatever the
    // format they are exported to, and read back the same.
    void exportKeepsPixelsAndProfile() {
        QImage source = photoLike({64, 48});
        source.setColorSpace(QColorSpace::DisplayP3); // Qt's writer embeds it as iCCP
        const QString path = dir_.filePath("tagged.png");
        QVERIFY(source.save(path));
        const KanvoDecodedPixels decoded = KanvoImageFile(path).decode();
        QVERIFY(!decoded.iccProfile.isEmpty());
        Canvas c;
        QVERIFY(c.open(path));
        QTRY_VERIFY(!c.view.image().isNull());
        for (const auto& [name, tolerance] :
             {std::pair{"tagged-out.png", 0}, {"tagged-out.jpg", 12}}) {
            const QString out = dir_.filePath(name);
            QVERIFY(c.view.exportImageURL(QUrl::fromLocalFile(out)));
            const KanvoDecodedPixels exported = KanvoImageFile(out).decode();
            QCOMPARE(exported.iccProfile, decoded.iccProfile);
            const PixelDifference d = PixelComparison::compare(exported.image, decoded.image);
            QVERIFY2(d.sameSize() && d.maximum <= tolerance,
                     qPrintable(name + QStringLiteral(": ") + d.describe()));
        }
    }

    // Zoomed in on a tagged image, the view is drawn from converted tiles. It
    // must look like converting the whole level and drawing it in one piece:
    // no seam where tiles meet, no colour left unconverted.
    void convertedTilesDrawLikeTheConvertedWhole_data() {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<double>("ratio");
        // Each draws the full-size level: a drawn size below the first
        // halving's would compare converted halvings with halved conversions.
        QTest::newRow("magnified across tile edges") << 6.0 << 1.0;
        QTest::newRow("shrunk, partly outside the view") << 1.2 << 1.0;
        QTest::newRow("device pixel ratio 2") << 3.0 << 2.0;
        // Wholly in view: one converted rendition, no tiles.
        QTest::newRow("fitted rendition") << 0.5 << 1.0;
    }
    void convertedTilesDrawLikeTheConvertedWhole() {
        QFETCH(double, zoom);
        QFETCH(double, ratio);
        const bool pan = zoom > 1.0;
        const QByteArray profile = QColorSpace(QColorSpace::DisplayP3).iccProfile();
        const KanvoImage tagged = KanvoImage::withRepresentations({photoLike({900, 700}), profile});
        QVERIFY(tagged.convertsColours());
        const KanvoImage converted = KanvoImage::withRepresentations(tagged.fullForDisplay());
        kanvo::ui::Layer layer;
        kanvo::ui::Document document;
        document.viewport.zoom = zoom;
        document.viewport.offset_x = pan ? 130 : 0; // a tile corner near the view's middle
        document.viewport.offset_y = pan ? -75 : 0;
        const auto draw = [&](const KanvoImage& image) {
            QImage canvas(QSize(640, 480) * ratio, QImage::Format_RGB32);
            canvas.setDevicePixelRatio(ratio);
            QPainter painter(&canvas);
            KanvoCanvasDrawing::drawIn(painter, QRectF(0, 0, 640, 480), image, &layer, &document,
                                       {});
            return canvas;
        };
        // Where the whole level is drawn, sampling stops at the view's edge;
        // tiles reach past it: the last column may differ by a level or two.
        // A rendition converts averaged pixels, the reference averages
        // converted ones: alike on the whole, not pixel for pixel.
        const PixelDifference d = PixelComparison::compare(draw(tagged), draw(converted));
        QVERIFY2(d.sameSize() && (pan ? d.maximum <= 2 : d.mean <= 0.5), qPrintable(d.describe()));
    }

    // On one core Qt's global pool has one thread, and Qt's painting runs its
    // fills and scaling there and waits for them: a decode job waiting on
    // that thread for its preview to be painted held the paint up for a
    // second, until it gave up waiting.
    void previewPaintsWithOnePooledThread() {
        const QString path = dir_.filePath("one-core.jpg");
        QVERIFY(photoLike({2400, 1600}).save(path, "JPG", 90));
        QThreadPool* pool = QThreadPool::globalInstance();
        const int threads = pool->maxThreadCount();
        pool->setMaxThreadCount(1);
        Canvas c;
        qint64 waited = -1;
        const QMetaObject::Connection painting =
            connect(KanvoNotifications::defaultCenter(),
                    &KanvoNotifications::documentSessionChanged, this, [&] {
                        if (!c.view.showsPreview()) {
                            return;
                        }
                        QElapsedTimer clock;
                        clock.start();
                        QSemaphore done; // as a pooled fill is waited for
                        pool->start([&done] { done.release(); });
                        done.acquire();
                        waited = clock.elapsed();
                    });
        QVERIFY(c.open(path));
        QTRY_VERIFY(!c.view.image().isNull() && !c.view.showsPreview());
        disconnect(painting);
        pool->setMaxThreadCount(threads);
        QVERIFY(waited >= 0);
        QCOMPARE_LT(waited, 500);
    }

    // An open that finds the file already being decoded (a command-line file
    // decoded while the window was built) joins that decode.
    void openJoinsAPrefetch() {
        const QString path = dir_.filePath("prefetched.jpg");
        QVERIFY(photoLike({2400, 1600}).save(path, "JPG", 90));
        KanvoImageDecodeService::shared().prefetch(QUrl::fromLocalFile(path), QSize(540, 360));
        Canvas c;
        QVERIFY(c.open(path));
        QTRY_VERIFY(!c.view.image().isNull());
        QTRY_VERIFY(!c.view.showsPreview());
        QCOMPARE(c.view.image().size(), QSize(2400, 1600));
    }

private:
    QTemporaryDir dir_;
};

QTEST_MAIN(KanvoCanvasPhotoTest)
#include "KanvoCanvasPhotoTest.moc"
