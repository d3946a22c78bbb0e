// Runs from a temporary tree (run-from-temp-tree.sh): the folders above the
// executable hold only what this test places there.
#include "GenerationSandbox.h"
#include "generate/KanvoProgressAnswer.h"
#include "generate/KanvoSDBackend.h"
#include "kit/KanvoResources.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>
#include <sys/stat.h>

class TestSDBackend : public QObject {
    Q_OBJECT
private slots:
    // Candidates are placed from the last to the first, each as a folder
    // (which counts), and each must win over those placed before it.
    void resolveFileTakesTheFirstCandidate() {
        GenerationSandbox sandbox;
        const QString relative = QStringLiteral("probe/x");
        const QString bin = QCoreApplication::applicationDirPath();

        // An empty KANVO_ROOT leaves the path relative to the current folder.
        qputenv("KANVO_ROOT", "");
        QVERIFY(QDir().mkpath(sandbox.path("home/" + relative)) &&
                QDir::setCurrent(sandbox.path("home")));
        QCOMPARE(KanvoSDBackend::resolveFile(relative), relative);

        qputenv("KANVO_ROOT", sandbox.path("kanvo").toUtf8());
        QVERIFY(QDir().mkpath(bin + "/../../../../../../../../" + relative));
        QCOMPARE(KanvoSDBackend::resolveFile(relative), QString());
        for (const QString& candidate :
             {sandbox.path("kanvo/" + relative), bin + "/../../../../../../../" + relative,
              KanvoResources::directory() + '/' + relative}) {
            QVERIFY(QDir().mkpath(candidate));
            QCOMPARE(QDir::cleanPath(KanvoSDBackend::resolveFile(relative)),
                     QDir::cleanPath(candidate));
        }
    }

    void sdURLReadsTheFirstUsableLine() {
        const QList<QByteArray> configs{
            QByteArray(), // no file: the default
            "x = 1\r\n \t sd_url = \"http://h:1\"\t\r\n",
            "# sd_url = \"http://old\"\nsd_url = http://bare\nsd_url = \"http://new\"\n",
            "sd_url_backup = \"http://backup:1\"\nsd_url = \"http://main:2\"\n",
            "sd_url = \"http://h:3\" # \"x\"\n", // first and last quote
            "sd_url = \"\"\n",
            "sd_url = \"http://caf\xE9:4\"\n", // Latin-1, not UTF-8: the default
            "sd_url = \"http://h:5\"\n\xC3",   // UTF-8 cut off at the end: the default
        };
        QStringList urls;
        for (const QByteArray& config : configs) {
            GenerationSandbox sandbox;
            QVERIFY(config.isNull() || sandbox.writeConfig(config));
            urls << KanvoSDBackend::sdURL();
        }
        QCOMPARE(urls, QStringList({"http://127.0.0.1:51544", "http://h:1", "http://new",
                                    "http://backup:1", "http://h:3\" # \"x", "",
                                    "http://127.0.0.1:51544", "http://127.0.0.1:51544"}));
    }

    // A file just past the limit, /dev/zero (which never ends) and a FIFO
    // (whose open blocks until a writer comes) all give the default.
    void sdURLReadsOnlyARegularFileUpToTheLimit() {
        const QByteArray line = "sd_url = \"http://big\"\n";
        const QByteArray fits =
            line + QByteArray(KanvoSDBackend::largestConfigBytes - line.size(), '#');
        QStringList urls;
        for (const QByteArray& config : {fits, fits + '#'}) {
            GenerationSandbox sandbox;
            QVERIFY(sandbox.writeConfig(config));
            urls << KanvoSDBackend::sdURL();
        }
        for (const bool fifo : {false, true}) {
            GenerationSandbox sandbox;
            const QString config = sandbox.path("kanvo/" + KanvoSDBackend::configPath);
            QVERIFY(QDir().mkpath(QFileInfo(config).path()));
            QVERIFY(fifo ? mkfifo(QFile::encodeName(config).constData(), 0600) == 0
                         : QFile::link(QStringLiteral("/dev/zero"), config));
            urls << KanvoSDBackend::sdURL();
        }
        QCOMPARE(urls, QStringList({"http://big", "http://127.0.0.1:51544",
                                    "http://127.0.0.1:51544", "http://127.0.0.1:51544"}));
    }

    // Refused, the call must not sit out the request timeout. A listening
    // socket takes the request and never answers: the 5 s transfer timeout
    // (Qt's coarse timer, up to 5% early) ends it before the 6 s backstop.
    void unloadReturnsInTime() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QList<qint64> elapsedMs;
        for (const quint16 port : {quint16(1), silent.serverPort()}) {
            GenerationSandbox sandbox;
            QVERIFY(sandbox.writeConfig("sd_url = \"http://127.0.0.1:" + QByteArray::number(port) +
                                        "\"\n"));
            QElapsedTimer elapsed;
            elapsed.start();
            KanvoSDBackend::unloadCheckpointSync();
            elapsedMs << elapsed.elapsed();
        }
        QCOMPARE_LT(elapsedMs[0], 4000);
        QCOMPARE_GE(elapsedMs[1], 4500);
        QCOMPARE_LT(elapsedMs[1], 6000);
    }

    // Truncated toward zero and not clamped; anything but a number, a string
    // or a missing member is dropped.
    void progressAnswerBecomesPercentage() {
        QStringList shown;
        for (const char* body :
             {R"({"progress":0.29})", R"({"progress":-0.299})", R"({"progress":1.5})",
              R"({"progress":" 0.5 done"})", R"({"progress":null})", R"({"progress":[0.5]})",
              R"({"progress":{"v":0.5}})", "<html>busy</html>"}) {
            const std::optional<double> progress = KanvoProgressAnswer::progress(body);
            shown << (progress ? QString::number(KanvoProgressAnswer::percent(*progress)) : "-");
        }
        QCOMPARE(shown, QStringList({"28", "-29", "150", "50", "-", "-", "-", "-"}));
    }
};

QTEST_GUILESS_MAIN(TestSDBackend)
#include "tst_sdbackend.moc"
