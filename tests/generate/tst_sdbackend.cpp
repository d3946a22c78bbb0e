// Runs from a temporary tree (run-from-temp-tree.sh): the folders above the
// executable hold only what this test places there.
#include "GenerationSandbox.h"
#include "LocalSdServer.h"
#include "generate/KanvoProgressAnswer.h"
#include "generate/KanvoSDBackend.h"
#include "kit/KanvoResources.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <limits>

class TestSDBackend : public QObject {
    Q_OBJECT
private slots:
    // Bases are "resources", "root" (KANVO_ROOT) and "upN", the executable's
    // folder and its parents. Each row looks up a name of its own, so rows do
    // not see each other's files.
    void resolveFileTakesTheFirstCandidate_data() {
        QTest::addColumn<QStringList>("placed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("resource-copy-comes-first")
            << QStringList{"resources", "up0", "root"} << "resources";
        QTest::newRow("seventh-parent-is-tried") << QStringList{"up7", "root"} << "up7";
        QTest::newRow("eighth-parent-is-not") << QStringList{"up8", "root"} << "root";
    }

    void resolveFileTakesTheFirstCandidate() {
        QFETCH(QStringList, placed);
        QFETCH(QString, expected);
        GenerationSandbox sandbox;
        const QString relative = QStringLiteral("probe/") + QTest::currentDataTag();
        const auto pathIn = [&](const QString& base) {
            QDir dir(base == u"resources" ? KanvoResources::directory()
                     : base == u"root"    ? sandbox.path("kanvo")
                                          : QCoreApplication::applicationDirPath());
            for (int up = base.mid(2).toInt(); up > 0; --up) {
                dir.cdUp();
            }
            return QDir::cleanPath(dir.filePath(relative));
        };
        for (const QString& base : placed) {
            GenerationSandbox::writeFile(pathIn(base), "//\n");
        }
        QCOMPARE(QDir::cleanPath(KanvoSDBackend::resolveFile(relative)), pathIn(expected));
    }

    // An empty KANVO_ROOT leaves the relative path as it is, which the file
    // system takes relative to the current folder; an unset one is skipped.
    // What is found there is a folder, which counts as well.
    void kanvoRootEmptyOrUnset() {
        GenerationSandbox sandbox;
        QDir().mkpath(sandbox.path("home/only-in-cwd"));
        const QString previous = QDir::currentPath();
        QDir::setCurrent(sandbox.path("home"));
        sandbox.setVariable("KANVO_ROOT", std::nullopt);
        const QString whenUnset = KanvoSDBackend::resolveFile(QStringLiteral("only-in-cwd"));
        sandbox.setVariable("KANVO_ROOT", QByteArray());
        const QString whenEmpty = KanvoSDBackend::resolveFile(QStringLiteral("only-in-cwd"));
        QDir::setCurrent(previous);
        QCOMPARE(whenUnset, QString());
        QCOMPARE(whenEmpty, QStringLiteral("only-in-cwd"));
    }

    void sdURLReadsTheFirstUsableLine_data() {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("expected");
        const QString fallback = QStringLiteral("http://127.0.0.1:51544");
        QTest::newRow("no-config-file") << QByteArray() << fallback;
        QTest::newRow("indented-crlf-line")
            << QByteArray("x = 1\r\n \t sd_url = \"http://h:1\"\t\r\n") << "http://h:1";
        QTest::newRow("commented-and-unquoted-lines-skipped")
            << QByteArray(
                   "# sd_url = \"http://old\"\nsd_url = http://bare\nsd_url = \"http://new\"\n")
            << "http://new";
        QTest::newRow("longer-key-matches-and-first-wins")
            << QByteArray("sd_url_backup = \"http://backup:1\"\nsd_url = \"http://main:2\"\n")
            << "http://backup:1";
        QTest::newRow("first-and-last-quote")
            << QByteArray("sd_url = \"http://h:3\" # \"x\"\n") << "http://h:3\" # \"x";
        QTest::newRow("empty-value") << QByteArray("sd_url = \"\"\n") << "";
        QTest::newRow("not-utf8") << QByteArray("sd_url = \"http://h:5/\xff\"\n") << fallback;
    }

    void sdURLReadsTheFirstUsableLine() {
        QFETCH(QByteArray, config);
        QFETCH(QString, expected);
        GenerationSandbox sandbox;
        if (!config.isNull()) {
            sandbox.writeConfig(config);
        }
        QCOMPARE(KanvoSDBackend::sdURL(), expected);
    }

    // Refused or unusable, the call must not sit out the request timeout. A
    // listening socket completes the connection by itself, so the request
    // goes out and is never answered; Qt's transfer timeout runs on a coarse
    // timer that may fire up to 5% early.
    void unloadReturnsInTime() {
        const auto unloadMs = [](const QByteArray& url) {
            GenerationSandbox sandbox;
            sandbox.writeConfig("sd_url = \"" + url + "\"\n");
            QElapsedTimer elapsed;
            elapsed.start();
            KanvoSDBackend::unloadCheckpointSync();
            return elapsed.elapsed();
        };
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const QByteArray loopback = "http://127.0.0.1:";
        QCOMPARE_LT(unloadMs(""), 4000);
        QCOMPARE_LT(unloadMs(loopback + QByteArray::number(LocalSdServer::closedPort())), 4000);
        const qint64 silentMs = unloadMs(loopback + QByteArray::number(silent.serverPort()));
        QCOMPARE_GE(silentMs, 4500);
        QCOMPARE_LE(silentMs, 6000);
    }

    // -1 in "percent" means the answer is dropped.
    void progressAnswerBecomesPercentage_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("percent");
        QTest::newRow("truncated-not-rounded") << QByteArray(R"({"progress":0.29})") << 28;
        QTest::newRow("negative-unclamped-toward-zero")
            << QByteArray(R"({"progress":-0.299})") << -29;
        QTest::newRow("above-one-unclamped") << QByteArray(R"({"progress":1.5})") << 150;
        QTest::newRow("string-leading-number") << QByteArray(R"({"progress":" 0.75 done"})") << 75;
        QTest::newRow("missing-member-is-zero") << QByteArray(R"({"detail":"Not Found"})") << 0;
        QTest::newRow("huge-string-saturates")
            << QByteArray(R"({"progress":"1e300"})") << std::numeric_limits<int>::max();
        QTest::newRow("null-dropped") << QByteArray(R"({"progress":null})") << -1;
        QTest::newRow("array-dropped") << QByteArray(R"({"progress":[0.5]})") << -1;
        QTest::newRow("object-dropped") << QByteArray(R"({"progress":{"v":0.5}})") << -1;
        QTest::newRow("top-level-array-dropped") << QByteArray(R"([{"progress":0.5}])") << -1;
        QTest::newRow("not-json-dropped") << QByteArray("<html>busy</html>") << -1;
    }

    void progressAnswerBecomesPercentage() {
        QFETCH(QByteArray, body);
        QFETCH(int, percent);
        const std::optional<double> progress = KanvoProgressAnswer::progress(body);
        QCOMPARE(progress.has_value(), percent != -1);
        if (progress) {
            QCOMPARE(KanvoProgressAnswer::percent(*progress), percent);
        }
    }
};

QTEST_GUILESS_MAIN(TestSDBackend)
#include "tst_sdbackend.moc"
