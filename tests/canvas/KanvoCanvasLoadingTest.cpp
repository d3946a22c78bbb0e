#include "CanvasFixtures.h"
#include "kit/KanvoNotifications.h"

#include <QImageReader>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>

namespace {

QColor centre(const QImage& image) {
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// Queued first on the pool's only worker: no decode starts while it lives,
// cache hits still complete. Nothing may paint meanwhile (raster fills use the pool).
struct DecodePoolBlocker {
    QSemaphore gate;
    DecodePoolBlocker() {
        QThreadPool::globalInstance()->start([this] { gate.acquire(); });
    }
    ~DecodePoolBlocker() {
        gate.release();
        QThreadPool::globalInstance()->waitForDone();
    }
};

} // namespace

class KanvoCanvasLoadingTest : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QDir dir_{tmp_.path()};

private slots:
    void initTestCase() { QThreadPool::globalInstance()->setMaxThreadCount(1); }

    void openShowsStatusThenPixelsWhichAFailedOpenKeeps() {
        // "@2x" must not halve the size the canvas fits.
        const QString path = writeImage(dir_, "first@2x.png", QColor(255, 0, 0, 128));
        CanvasFixture f;
        QSignalSpy changed(KanvoNotifications::defaultCenter(),
                           &KanvoNotifications::documentSessionChanged);
        QVERIFY(f.canvas->openImageURL(fileUrl(path)));
        QVERIFY(f.canvas->image().isNull()); // never decoded inside the call
        QCOMPARE(f.canvas->statusText(), "Opening " + QFileInfo(path).fileName() + "...");
        QCOMPARE(changed.count(), 1);
        QVERIFY(changed.wait());
        QCOMPARE(changed.last().at(0).value<QObject*>(), f.canvas);
        QCOMPARE(f.canvas->image().format(), QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(f.canvas->image().devicePixelRatio(), 1.0);

        QVERIFY(!f.canvas->openImageURL(fileUrl(dir_.filePath("missing.png"))));
        QVERIFY(!f.canvas->image().isNull());
        QCOMPARE(changed.count(), 2);
    }

    // The older open's pixels arrive last and must not replace the newer's.
    void latestOpenWinsOverALaterStaleDecode() {
        const QString a = writeImage(dir_, "a.ppm", Qt::red);
        const QString b = writeImage(dir_, "b.ppm", Qt::green);
        CanvasFixture f;
        // B, cached, completes at once while the blocked pool holds A back.
        QVERIFY(openAndDecode(*f.canvas, b));
        {
            DecodePoolBlocker blocker;
            QVERIFY(f.canvas->openImageURL(fileUrl(a)));
            QVERIFY(f.canvas->openImageURL(fileUrl(b)));
            QTRY_VERIFY(!f.canvas->image().isNull());
        }
        // Let A finish decoding, then deliver its completion.
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(centre(f.canvas->image()), QColor(Qt::green));
    }

    void reopenIsServedFromTheCacheAsynchronously() {
        const QString path = writeImage(dir_, "cached.ppm", Qt::red);
        CanvasFixture f;
        QVERIFY(openAndDecode(*f.canvas, path));
        // With the pool blocked only a cache hit can complete.
        DecodePoolBlocker blocker;
        QVERIFY(f.canvas->openImageURL(fileUrl(path)));
        QVERIFY(f.canvas->image().isNull()); // never completed inside the call
        QTRY_VERIFY(!f.canvas->image().isNull());
        QCOMPARE(centre(f.canvas->image()), QColor(Qt::red));
    }

    void rewrittenFileIsDecodedAfresh() {
        const QString path = writeImage(dir_, "rewritten.ppm", Qt::red);
        CanvasFixture f;
        QVERIFY(openAndDecode(*f.canvas, path));
        // Same size, so only the modification time tells the versions apart.
        writeImage(dir_, "rewritten.ppm", Qt::blue);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                 QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(openAndDecode(*f.canvas, path));
        QCOMPARE(centre(f.canvas->image()), QColor(Qt::blue));
    }

    // JPEG for "jpg" and "jpeg" in any case, PNG for the rest; the file is
    // replaced whole or, when the encoder fails, left as it was.
    void exportReplacesTheFileInTheExtensionsFormat_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("jpeg-mixed-case") << "out.JpEg" << QSize(33, 21) << QByteArray("jpeg");
        QTest::newRow("tiff-gets-png") << "out.tiff" << QSize(33, 21) << QByteArray("png");
        // JPEG cannot hold an image wider than 65500 pixels.
        QTest::newRow("encoder-failure-keeps-the-old-file")
            << "wide.jpg" << QSize(70000, 1) << QByteArray();
    }
    void exportReplacesTheFileInTheExtensionsFormat() {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(QByteArray, format);
        CanvasFixture f;
        QVERIFY(
            openAndDecode(*f.canvas, writeImage(dir_, name + ".png", QColor(200, 40, 40), size)));
        f.session.setLayerOpacity(f.session.document()->active_layer_id, 0.2); // no effect
        const QString path = writeFile(dir_, name, "old");
        const QStringList files = dir_.entryList(QDir::Files);
        QCOMPARE(f.canvas->exportImageURL(fileUrl(path)), !format.isEmpty());
        QCOMPARE(dir_.entryList(QDir::Files), files); // no temporary left behind
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), format);
        if (format.isEmpty()) {
            QCOMPARE(QFileInfo(path).size(), 3);
        } else {
            QVERIFY(std::abs(centre(reader.read()).red() - 200) <= 3);
        }
    }
};

QTEST_MAIN(KanvoCanvasLoadingTest)
#include "KanvoCanvasLoadingTest.moc"
