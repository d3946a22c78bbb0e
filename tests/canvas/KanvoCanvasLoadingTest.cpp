#include "CanvasFixtures.h"
#include "kit/KanvoNotifications.h"

#include <QImageReader>
#include <QImageWriter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QColor centre(const QImage& image) {
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

QString writeImage(const QDir& dir, const QString& name, QSize size, QColor color) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    const QString path = dir.filePath(name);
    return QImageWriter(path).write(image) ? path : QString();
}

} // namespace

class KanvoCanvasLoadingTest : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QDir dir_{tmp_.path()};
    QString ppm(const QString& name, QColor color, QSize size = {24, 16}) {
        return writePpm(dir_, name, size, color);
    }

private slots:
    void initTestCase() { useOneDecodeThread(); }

    void openShowsStatusThenPixels() {
        CanvasFixture f;
        QSignalSpy changed(KanvoNotifications::defaultCenter(),
                           &KanvoNotifications::documentSessionChanged);
        // "@2x" must not halve the size the canvas fits.
        const QString path = writeImage(dir_, "first@2x.png", {24, 16}, QColor(255, 0, 0, 128));
        QVERIFY(f.canvas->openImageURL(fileUrl(path)));
        QVERIFY(f.canvas->image().isNull()); // never decoded inside the call
        QCOMPARE(f.canvas->statusText(), QString("Opening first@2x.png..."));
        QCOMPARE(f.session.document()->canvas.width, size_t(24));
        QCOMPARE(changed.count(), 1);
        QVERIFY(changed.wait());
        QCOMPARE(changed.at(1).at(0).value<QObject*>(), f.canvas);
        QVERIFY(f.canvas->statusText().isNull());
        QCOMPARE(f.canvas->image().size(), QSize(24, 16));
        QCOMPARE(f.canvas->image().devicePixelRatio(), 1.0);
        QCOMPARE(f.canvas->image().format(), QImage::Format_ARGB32_Premultiplied);
        QVERIFY(openAndDecode(*f.canvas, ppm("opaque.ppm", Qt::red)));
        QCOMPARE(f.canvas->image().format(), QImage::Format_RGB32);
    }

    void latestOpenWinsWhateverTheOrder_data() {
        QTest::addColumn<bool>("staleArrivesLast");
        QTest::newRow("stale-decode-arrives-after-newer") << true;
        QTest::newRow("stale-decode-arrives-first") << false;
    }
    void latestOpenWinsWhateverTheOrder() {
        QFETCH(bool, staleArrivesLast);
        const QString tag = staleArrivesLast ? "last" : "first";
        const QString a = ppm(tag + "-a.ppm", Qt::red);
        const QString b = ppm(tag + "-b.ppm", Qt::green);
        CanvasFixture f;
        // A cached image completes at once while the blocked pool holds the
        // other decode back, which fixes the order of the two completions.
        QVERIFY(openAndDecode(*f.canvas, staleArrivesLast ? b : a));
        {
            DecodePoolBlocker blocker;
            QVERIFY(f.canvas->openImageURL(fileUrl(a)));
            QVERIFY(f.canvas->openImageURL(fileUrl(b)));
            QCoreApplication::sendPostedEvents();
            QCOMPARE(f.canvas->image().isNull(), !staleArrivesLast);
        }
        QTRY_VERIFY(!f.canvas->image().isNull());
        QCoreApplication::sendPostedEvents();
        QCOMPARE(centre(f.canvas->image()), QColor(Qt::green));
    }

    void reopenIsServedFromTheCacheAsynchronously() {
        const QString path = ppm("cached.ppm", Qt::red);
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
        const QString path = ppm("rewritten.ppm", Qt::red);
        CanvasFixture f;
        QVERIFY(openAndDecode(*f.canvas, path));
        // Same size, so only the modification time tells the versions apart.
        ppm("rewritten.ppm", Qt::blue);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                 QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(openAndDecode(*f.canvas, path));
        QCOMPARE(centre(f.canvas->image()), QColor(Qt::blue));
    }

    void corruptPixelsKeepTheDocument() {
        CanvasFixture f;
        QSignalSpy changed(KanvoNotifications::defaultCenter(),
                           &KanvoNotifications::documentSessionChanged);
        QVERIFY(f.canvas->openImageURL(fileUrl(writeCorruptPng(dir_, "broken.png"))));
        QTRY_COMPARE(f.canvas->statusText(), QString("Could not decode image"));
        QVERIFY(f.canvas->image().isNull());
        QCOMPARE(changed.count(), 1); // the open only
        QCOMPARE(f.session.document()->canvas.width, size_t(64));
    }

    void rejectedOpenChangesNothing_data() {
        QTest::addColumn<QUrl>("url");
        QTest::newRow("missing-path") << fileUrl("/nonexistent/kanvo/missing.png");
        QTest::newRow("unsupported-extension") << fileUrl(QCoreApplication::applicationFilePath());
        QTest::newRow("empty-url") << QUrl();
    }
    void rejectedOpenChangesNothing() {
        QFETCH(QUrl, url);
        CanvasFixture f;
        QVERIFY(openAndDecode(*f.canvas, ppm("kept.ppm", Qt::red)));
        QSignalSpy changed(KanvoNotifications::defaultCenter(),
                           &KanvoNotifications::documentSessionChanged);
        QVERIFY(!f.canvas->openImageURL(url));
        QCOMPARE(centre(f.canvas->image()), QColor(Qt::red));
        QCOMPARE(f.canvas->imageName(), QString("kept.ppm"));
        QCOMPARE(f.session.document()->path.filename().string(), std::string("kept.ppm"));
        QCOMPARE(changed.count(), 0);
    }

    void exportFormatFollowsExtension_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("png") << "out.png" << QByteArray("png");
        QTest::newRow("jpg-in-capitals") << "out.JPG" << QByteArray("jpeg");
        QTest::newRow("jpeg-mixed-case") << "out.JpEg" << QByteArray("jpeg");
        QTest::newRow("tiff-gets-png") << "out.tiff" << QByteArray("png");
        QTest::newRow("no-extension-gets-png") << "out" << QByteArray("png");
        QTest::newRow("last-extension-counts") << "out.jpg.png" << QByteArray("png");
    }
    void exportFormatFollowsExtension() {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        CanvasFixture f;
        QVERIFY(openAndDecode(*f.canvas, ppm("source.ppm", QColor(200, 40, 40), {33, 21})));
        f.session.setLayerOpacity(f.session.document()->active_layer_id, 0.2); // no effect
        QVERIFY(f.canvas->exportImageURL(fileUrl(dir_.filePath(name))));
        QImageReader reader(dir_.filePath(name));
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), format);
        const QImage back = reader.read();
        QCOMPARE(back.size(), QSize(33, 21));
        QVERIFY(std::abs(centre(back).red() - 200) <= 3);
    }

    void failedExportLeavesTheExistingFile() {
        CanvasFixture f;
        QVERIFY(!f.canvas->exportImageURL(fileUrl(dir_.filePath("before-decode.png"))));
        // JPEG cannot hold an image wider than 65500 pixels: the encoder fails.
        QVERIFY(openAndDecode(*f.canvas, writeImage(dir_, "wide.png", {70000, 1}, Qt::red)));
        const QString existing = writeFile(dir_, "existing.jpg", "previous contents");
        const QStringList before = dir_.entryList(QDir::Files);
        QVERIFY(!f.canvas->exportImageURL(fileUrl(existing)));
        QFile file(existing);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("previous contents"));
        QCOMPARE(dir_.entryList(QDir::Files), before);
    }
};

QTEST_MAIN(KanvoCanvasLoadingTest)
#include "KanvoCanvasLoadingTest.moc"
