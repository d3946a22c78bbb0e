#include "CanvasFixtures.h"
#include "canvas/KanvoImageDecodeService.h"
#include "kit/KanvoNotifications.h"

#include <QImageReader>
#include <QImageWriter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QColor centreColor(const QImage& image) {
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class KanvoCanvasLoadingTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QDir dir() const { return QDir(dir_.path()); }
    QString ppm(const QString& name, QColor color, QSize size = QSize(24, 16)) {
        return writePpm(dir(), name, size, color);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        useOneDecodeThread();
    }

    void openShowsStatusThenPixels() {
        CanvasFixture f;
        QSignalSpy changed(KanvoNotifications::defaultCenter(),
                           &KanvoNotifications::documentSessionChanged);
        QVERIFY(f.canvas->openImageURL(fileUrl(ppm("first.ppm", Qt::red))));
        // The header is read at once, the pixels never inside the call.
        QVERIFY(f.canvas->image().isNull());
        QCOMPARE(f.canvas->imageName(), QString("first.ppm"));
        QCOMPARE(f.canvas->statusText(), QString("Opening first.ppm..."));
        QCOMPARE(f.session.document()->canvas.width, size_t(24));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<QObject*>(), f.canvas);

        QVERIFY(changed.wait());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1).at(0).value<QObject*>(), f.canvas);
        QVERIFY(f.canvas->statusText().isNull());
        QCOMPARE(f.canvas->image().size(), QSize(24, 16));
        QCOMPARE(centreColor(f.canvas->image()), QColor(Qt::red));
    }

    void decodedImageHasPixelSizeAndDrawableFormat_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<QImage::Format>("format");
        QTest::newRow("opaque-ppm-is-rgb32") << "opaque.ppm" << false << QImage::Format_RGB32;
        QTest::newRow("png-with-alpha-is-premultiplied")
            << "alpha.png" << true << QImage::Format_ARGB32_Premultiplied;
        QTest::newRow("retina-suffix-keeps-pixel-size")
            << "icon@2x.png" << true << QImage::Format_ARGB32_Premultiplied;
        QTest::newRow("jpeg") << "photo.jpg" << false << QImage::Format_RGB32;
    }
    void decodedImageHasPixelSizeAndDrawableFormat() {
        QFETCH(QString, name);
        QFETCH(bool, alpha);
        QFETCH(QImage::Format, format);
        QImage source(30, 20, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        source.fill(alpha ? QColor(0, 0, 255, 128) : QColor(Qt::blue));
        const QString path = dir().filePath(name);
        QVERIFY(QImageWriter(path).write(source));

        CanvasFixture f;
        QVERIFY(openAndDecode(*f.canvas, path));
        QCOMPARE(f.canvas->image().size(), QSize(30, 20));
        QCOMPARE(f.canvas->image().devicePixelRatio(), 1.0);
        QCOMPARE(f.canvas->image().format(), format);
    }

    void latestOpenWinsWhateverTheOrder_data() {
        QTest::addColumn<bool>("earlierFinishesLast");
        QTest::newRow("stale-decode-arrives-after-newer") << true;
        QTest::newRow("stale-decode-arrives-first") << false;
    }
    void latestOpenWinsWhateverTheOrder() {
        QFETCH(bool, earlierFinishesLast);
        const QString tag = earlierFinishesLast ? "late" : "early";
        const QString a = ppm(tag + "-a.ppm", Qt::red);
        const QString b = ppm(tag + "-b.ppm", Qt::green);
        CanvasFixture f;
        // Cached images complete at once while the blocked pool holds back
        // the other decode, which fixes the order of the two completions.
        QVERIFY(openAndDecode(*f.canvas, earlierFinishesLast ? b : a));
        {
            DecodePoolBlocker blocker;
            QVERIFY(f.canvas->openImageURL(fileUrl(a)));
            QVERIFY(f.canvas->openImageURL(fileUrl(b)));
            QCOMPARE(f.canvas->statusText(), QString("Opening %1...").arg(QFileInfo(b).fileName()));
            QCoreApplication::sendPostedEvents();
            if (earlierFinishesLast) {
                QCOMPARE(centreColor(f.canvas->image()), QColor(Qt::green));
            } else {
                QVERIFY(f.canvas->image().isNull());
            }
        }
        QTRY_VERIFY(!f.canvas->image().isNull());
        QCoreApplication::sendPostedEvents();
        QCOMPARE(centreColor(f.canvas->image()), QColor(Qt::green));
        QCOMPARE(f.canvas->imageName(), QFileInfo(b).fileName());

        // Both decodes were kept: each is now served without the pool.
        DecodePoolBlocker blocker;
        for (const QString& path : {a, b}) {
            bool served = false;
            KanvoImageDecodeService::shared().decodeURL(
                fileUrl(path), [&](const QImage& image) { served = !image.isNull(); });
            QCoreApplication::sendPostedEvents();
            QVERIFY2(served, qPrintable(path));
        }
    }

    void reopenIsServedFromCacheAsynchronously() {
        const QString path = ppm("cached.ppm", Qt::red);
        CanvasFixture f;
        QVERIFY(openAndDecode(*f.canvas, path));
        // Rewriting the file does not invalidate the cached pixels.
        ppm("cached.ppm", Qt::blue, QSize(40, 40));
        DecodePoolBlocker blocker;
        QVERIFY(f.canvas->openImageURL(fileUrl(path)));
        QVERIFY(f.canvas->image().isNull());
        QCOMPARE(f.session.document()->canvas.width, size_t(40)); // header read afresh
        QTRY_VERIFY(!f.canvas->image().isNull());
        QCOMPARE(centreColor(f.canvas->image()), QColor(Qt::red));
    }

    void cacheKeepsTheEightMostRecent() {
        QStringList paths;
        for (int i = 0; i < 9; ++i) {
            paths << ppm(QString("recent-%1.ppm").arg(i), QColor(i * 20, 0, 0));
        }
        int pending = 0;
        for (const QString& path : paths) {
            ++pending;
            KanvoImageDecodeService::shared().decodeURL(fileUrl(path),
                                                        [&](const QImage&) { --pending; });
        }
        QTRY_COMPARE(pending, 0);

        DecodePoolBlocker blocker;
        auto servedFromCache = [](const QString& path) {
            bool served = false;
            KanvoImageDecodeService::shared().decodeURL(fileUrl(path),
                                                        [&](const QImage&) { served = true; });
            QCoreApplication::sendPostedEvents();
            return served;
        };
        QVERIFY(servedFromCache(paths.last()));
        QVERIFY(servedFromCache(paths.at(1)));
        QVERIFY(!servedFromCache(paths.first()));
        blocker.release();
    }

    void corruptPixelsKeepTheDocument() {
        CanvasFixture f;
        QSignalSpy changed(KanvoNotifications::defaultCenter(),
                           &KanvoNotifications::documentSessionChanged);
        QVERIFY(f.canvas->openImageURL(fileUrl(writeCorruptPng(dir(), "broken.png"))));
        QTRY_COMPARE(f.canvas->statusText(), QString("Could not decode image"));
        QVERIFY(f.canvas->image().isNull());
        QCOMPARE(changed.count(), 1); // only the open itself
        QCOMPARE(f.session.document()->canvas.width, size_t(64));
    }

    void rejectedOpenChangesNothing_data() {
        QTest::addColumn<QUrl>("url");
        QTest::newRow("missing-path") << fileUrl("/nonexistent/kanvo/missing.png");
        QTest::newRow("unsupported-extension") << fileUrl("/etc/hostname");
        QTest::newRow("empty-url") << QUrl();
    }
    void rejectedOpenChangesNothing() {
        QFETCH(QUrl, url);
        CanvasFixture f;
        QVERIFY(openAndDecode(*f.canvas, ppm("kept.ppm", Qt::red)));
        const std::uint64_t layerId = f.session.document()->active_layer_id;
        QSignalSpy changed(KanvoNotifications::defaultCenter(),
                           &KanvoNotifications::documentSessionChanged);
        QVERIFY(!f.canvas->openImageURL(url));
        QCOMPARE(centreColor(f.canvas->image()), QColor(Qt::red));
        QCOMPARE(f.canvas->imageName(), QString("kept.ppm"));
        QVERIFY(f.canvas->statusText().isNull());
        QCOMPARE(f.session.document()->active_layer_id, layerId);
        QCOMPARE(changed.count(), 0);
    }

    void openWithoutSessionFails() {
        KanvoCanvasView canvas(QRectF(0, 0, 400, 300), nullptr);
        QVERIFY(!canvas.openImageURL(fileUrl(ppm("orphan.ppm", Qt::red))));
        QVERIFY(canvas.statusText().isNull());
    }

    void exportFormatFollowsExtension_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("png") << "out.png" << QByteArray("png");
        QTest::newRow("jpg-capitals") << "out.JPG" << QByteArray("jpeg");
        QTest::newRow("jpeg-mixed-case") << "out.JpEg" << QByteArray("jpeg");
        QTest::newRow("tiff-gets-png") << "out.tiff" << QByteArray("png");
        QTest::newRow("ppm-gets-png") << "out.ppm" << QByteArray("png");
        QTest::newRow("no-extension-gets-png") << "out" << QByteArray("png");
        QTest::newRow("last-extension-counts") << "out.jpg.png" << QByteArray("png");
    }
    void exportFormatFollowsExtension() {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        CanvasFixture f;
        QVERIFY(
            openAndDecode(*f.canvas, ppm("export-source.ppm", QColor(200, 40, 40), QSize(33, 21))));
        f.session.setLayerOpacity(f.session.document()->active_layer_id, 0.2);
        f.session.zoomViewport(3);
        const QString path = dir().filePath(name);
        QVERIFY(f.canvas->exportImageURL(fileUrl(path)));
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), format);
        const QImage back = reader.read();
        // The source pixels at full size, untouched by the view or the layer.
        QCOMPARE(back.size(), QSize(33, 21));
        const QColor c = centreColor(back);
        QVERIFY(std::abs(c.red() - 200) <= 3 && std::abs(c.green() - 40) <= 3);
    }

    void failedExportLeavesExistingFile() {
        CanvasFixture f;
        QVERIFY(!f.canvas->exportImageURL(fileUrl(dir().filePath("early.png"))));

        // JPEG cannot hold an image wider than 65500 pixels: the encoder fails.
        QImage wide(70000, 1, QImage::Format_RGB32);
        wide.fill(Qt::red);
        const QString widePath = dir().filePath("very-wide.png");
        QVERIFY(QImageWriter(widePath).write(wide));
        QVERIFY(openAndDecode(*f.canvas, widePath));
        const QString existing = writeFile(dir(), "existing.jpg", "previous contents");
        const QStringList before = dir().entryList(QDir::Files);
        QVERIFY(!f.canvas->exportImageURL(fileUrl(existing)));
        QCOMPARE(readAll(existing), QByteArray("previous contents"));
        QCOMPARE(dir().entryList(QDir::Files), before);
    }
};

QTEST_MAIN(KanvoCanvasLoadingTest)
#include "KanvoCanvasLoadingTest.moc"
