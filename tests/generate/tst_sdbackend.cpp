// Runs from a temporary tree (run-from-temp-tree.sh): the candidates above the
// executable are folders this test owns.
#include "GenerationSandbox.h"
#include "LocalSdServer.h"
#include "generate/KanvoSDBackend.h"
#include "kit/KanvoResources.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

const QString relative = QStringLiteral("scripts/kanvo-txt2img.mjs");

// A base of the lookup as a short name: "resources", "up0" (the executable's
// folder) to "up8", "root" (KANVO_ROOT).
QString baseFor(const QString& name, const GenerationSandbox& sandbox) {
    if (name == u"resources") {
        return KanvoResources::directory();
    }
    if (name == u"root") {
        return sandbox.kanvoRoot();
    }
    QDir dir(QCoreApplication::applicationDirPath());
    for (int i = name.mid(2).toInt(); i > 0; --i) {
        dir.cdUp();
    }
    return dir.path();
}

} // namespace

class TestSDBackend : public QObject {
    Q_OBJECT
private:
    QStringList placed_;

private slots:
    void initTestCase() {
        GenerationSandbox sandbox;
        if (!KanvoSDBackend::resolveFile(relative).isEmpty()) {
            QSKIP("the generate script lies above the executable; run through "
                  "run-from-temp-tree.sh");
        }
    }

    void cleanup() {
        for (const QString& path : std::as_const(placed_)) {
            QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path);
        }
        placed_.clear();
    }

    void resolveFileTakesTheFirstCandidate_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("expected");
        QTest::newRow("only-under-kanvo-root") << QStringList{"root"} << ""
                                               << "root";
        QTest::newRow("resource-copy-beats-kanvo-root") << QStringList{"resources", "root"} << ""
                                                        << "resources";
        QTest::newRow("three-levels-up") << QStringList{"up3", "root"} << ""
                                         << "up3";
        QTest::newRow("seventh-parent-is-the-last-folder") << QStringList{"up7"} << ""
                                                           << "up7";
        QTest::newRow("eight-levels-up-is-too-far") << QStringList{"up8"} << ""
                                                    << "";
        QTest::newRow("eight-levels-up-falls-back-to-root") << QStringList{"up8", "root"} << ""
                                                            << "root";
        QTest::newRow("a-directory-counts") << QStringList{} << "up2"
                                            << "up2";
    }

    void resolveFileTakesTheFirstCandidate() {
        QFETCH(QStringList, files);
        QFETCH(QString, directory);
        QFETCH(QString, expected);
        GenerationSandbox sandbox;
        for (const QString& name : files) {
            const QString path = baseFor(name, sandbox) + u'/' + relative;
            GenerationSandbox::writeFile(path, "//\n");
            placed_ << path;
        }
        if (!directory.isEmpty()) {
            const QString path = baseFor(directory, sandbox) + u'/' + relative;
            QDir().mkpath(path);
            placed_ << path;
        }
        const QString wanted =
            expected.isEmpty() ? QString() : baseFor(expected, sandbox) + u'/' + relative;
        QCOMPARE(QDir::cleanPath(KanvoSDBackend::resolveFile(relative)), QDir::cleanPath(wanted));
    }

    void resolveFileWithoutKanvoRootFindsNothing() {
        GenerationSandbox sandbox;
        GenerationSandbox::writeFile(sandbox.kanvoRoot() + u'/' + relative, "//\n");
        qunsetenv("KANVO_ROOT");
        QVERIFY(KanvoSDBackend::resolveFile(relative).isEmpty());
    }

    // An empty KANVO_ROOT leaves the relative path as it is, which the file
    // system takes relative to the current folder.
    void emptyKanvoRootTriesTheCurrentFolder() {
        GenerationSandbox sandbox;
        qputenv("KANVO_ROOT", "");
        const QString previous = QDir::currentPath();
        QDir::setCurrent(sandbox.home());
        QVERIFY(KanvoSDBackend::resolveFile(relative).isEmpty());
        GenerationSandbox::writeFile(sandbox.home() + u'/' + relative, "//\n");
        const QString found = KanvoSDBackend::resolveFile(relative);
        QDir::setCurrent(previous);
        QCOMPARE(found, relative);
    }

    void sdURLReadsTheFirstUsableLine_data() {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("expected");
        const QString fallback = QStringLiteral("http://127.0.0.1:51544");
        QTest::newRow("plain") << QByteArray("sd_url = \"http://127.0.0.1:7860\"\n")
                               << "http://127.0.0.1:7860";
        QTest::newRow("indented-with-spaces-and-tabs")
            << QByteArray("[server]\n \t sd_url = \"http://h:1\"\t \n") << "http://h:1";
        QTest::newRow("crlf-line-ends")
            << QByteArray("steps = 20\r\nsd_url = \"http://h:2\"\r\nseed = 1\r\n") << "http://h:2";
        QTest::newRow("commented-line-is-skipped")
            << QByteArray("# sd_url = \"http://old:1\"\nsd_url = \"http://new:2\"\n")
            << "http://new:2";
        QTest::newRow("unquoted-value-is-skipped")
            << QByteArray("sd_url = http://bare:1\nsd_url = \"http://quoted:2\"\n")
            << "http://quoted:2";
        QTest::newRow("longer-key-matches-and-first-wins")
            << QByteArray("sd_url_backup = \"http://backup:1\"\nsd_url = \"http://main:2\"\n")
            << "http://backup:1";
        QTest::newRow("trailing-comment-quotes-join-the-value")
            << QByteArray("sd_url = \"http://h:3\" # \"local\"\n") << "http://h:3\" # \"local";
        QTest::newRow("empty-value") << QByteArray("sd_url = \"\"\n") << "";
        QTest::newRow("key-is-case-sensitive")
            << QByteArray("SD_URL = \"http://h:4\"\n") << fallback;
        QTest::newRow("not-utf8") << QByteArray("sd_url = \"http://h:5/\xff\"\n") << fallback;
    }

    void sdURLReadsTheFirstUsableLine() {
        QFETCH(QByteArray, config);
        QFETCH(QString, expected);
        GenerationSandbox sandbox;
        sandbox.writeConfig(config);
        QCOMPARE(KanvoSDBackend::sdURL(), expected);
    }

    void sdURLWithoutConfigIsTheDefault() {
        GenerationSandbox sandbox;
        QCOMPARE(KanvoSDBackend::sdURL(), QStringLiteral("http://127.0.0.1:51544"));
    }

    void unloadReachesTheServerOnce() {
        LocalSdServer server;
        QVERIFY(!server.url().isEmpty());
        GenerationSandbox sandbox;
        sandbox.writeConfig("sd_url = \"" + server.url().toUtf8() + "\"\n");
        KanvoSDBackend::unloadCheckpointSync();
        QCOMPARE(server.status().value(QLatin1String("unload_count")).toInt(), 1);
    }

    // Refused at once: the call must not sit out the 5-second request timeout.
    void unloadWithoutServerReturnsPromptly_data() {
        QTest::addColumn<QByteArray>("config");
        QTest::newRow("refused") << "sd_url = \"http://127.0.0.1:" +
                                        QByteArray::number(LocalSdServer::closedPort()) + "\"\n";
        QTest::newRow("not-a-url") << QByteArray("sd_url = \"\"\n");
    }

    void unloadWithoutServerReturnsPromptly() {
        QFETCH(QByteArray, config);
        GenerationSandbox sandbox;
        sandbox.writeConfig(config);
        QElapsedTimer elapsed;
        elapsed.start();
        KanvoSDBackend::unloadCheckpointSync();
        QVERIFY2(elapsed.elapsed() < 4000, qPrintable(QString::number(elapsed.elapsed())));
    }

    // The listening socket completes the connection without this thread's
    // help, so the request goes out and no answer ever comes.
    void unloadGivesUpOnASilentServer() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        GenerationSandbox sandbox;
        sandbox.writeConfig(
            "sd_url = \"http://127.0.0.1:" + QByteArray::number(silent.serverPort()) + "\"\n");
        QElapsedTimer elapsed;
        elapsed.start();
        KanvoSDBackend::unloadCheckpointSync();
        const qint64 waited = elapsed.elapsed();
        // Qt's transfer timeout runs on a coarse timer that may fire up to 5% early.
        QVERIFY2(waited >= 4500 && waited <= 6000, qPrintable(QString::number(waited)));

        QVERIFY(silent.waitForNewConnection(1000));
        QTcpSocket* socket = silent.nextPendingConnection();
        QTRY_VERIFY(socket->bytesAvailable() > 0);
        QVERIFY(socket->readAll().startsWith("POST /sdapi/v1/unload-checkpoint HTTP/1.1"));
    }
};

QTEST_GUILESS_MAIN(TestSDBackend)
#include "tst_sdbackend.moc"
