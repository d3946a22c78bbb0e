// The bar with real children: a recording stand-in for node, and the real
// script against the local server. Runs from run-from-temp-tree.sh.
#include "GenerationSandbox.h"
#include "LocalSdServer.h"
#include "canvas/KanvoCanvasView.h"
#include "generate/KanvoGenerateBar.h"
#include "kanvo/ui/document_session.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString failed = QString::fromUtf8("Failed \u2014 is Forge running?");
const QString generating0 = QString::fromUtf8("Generating\u2026 0%");
const char* const scriptPath = "kanvo/scripts/kanvo-txt2img.mjs";

// Records its arguments, PATH and KANVO_ROOT, each ended by a NUL, in
// HOME/record, then exits with the status in KANVO_TEST_EXIT.
const QByteArray recordingNode = R"(#!/bin/sh
printf '%s\0' "$@" "$PATH" "$KANVO_ROOT" > "$HOME/record"
exit "$KANVO_TEST_EXIT"
)";

struct BarUnderTest {
    GenerationSandbox sandbox;
    kanvo::ui::DocumentSession session;
    KanvoCanvasView canvas{QRectF(0, 0, 400, 300), nullptr};
    KanvoGenerateBar bar{QRectF(78, 44, 640, 58), &canvas, nullptr};

    BarUnderTest() { canvas.setSession(&session); }
    void writeConfig(const QString& url) {
        sandbox.writeConfig("sd_url = \"" + url.toUtf8() +
                            "\"\nsteps = 20\nwidth = 64\nheight = 48\n");
    }
    void generate(const QString& prompt) {
        bar.promptField()->setText(prompt);
        bar.generateTapped();
    }
    QString status() const { return bar.genStatus()->text(); }
    QSize opened() const {
        const auto* document = session.document();
        return document ? QSize(int(document->canvas.width), int(document->canvas.height))
                        : QSize();
    }
};

} // namespace

class TestGenerateBar : public QObject {
    Q_OBJECT
private slots:
    // Setup words: "script" and "config" are placed, "earlier" leaves an
    // output of an earlier run, "fails" makes node exit with 3 (else 0) and
    // "noexec" takes node's execute permission away.
    void childOutcomeDecidesTheStatus_data() {
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("expected");
        const QString prompt = QString::fromUtf8("--steps 1 \"quoted\" 'single'  caf\u00e9 $HOME ");
        const QString notFound = QStringLiteral("generate script/config not found.");
        QTest::newRow("empty-prompt")
            << QString() << "script config" << QStringLiteral("Enter a prompt first.");
        QTest::newRow("config-missing") << prompt << "script" << notFound;
        QTest::newRow("script-missing") << prompt << "config" << notFound;
        QTest::newRow("node-not-executable")
            << prompt << "script config noexec" << QStringLiteral("Could not launch node.");
        QTest::newRow("zero-exit-opens-the-earlier-output")
            << prompt << "script config earlier" << QStringLiteral("Done.");
        QTest::newRow("zero-exit-without-output") << prompt << "script config" << failed;
        QTest::newRow("nonzero-exit-ignores-the-earlier-output")
            << prompt << "script config earlier fails" << failed;
        QTest::newRow("spaces-only-prompt-runs")
            << QStringLiteral("   ") << "script config fails" << failed;
    }

    void childOutcomeDecidesTheStatus() {
        QFETCH(QString, prompt);
        QFETCH(QString, setup);
        QFETCH(QString, expected);
        BarUnderTest t;
        const QString home = t.sandbox.path("home");
        const QString root = t.sandbox.path("kanvo");
        const QString output = t.sandbox.path("tmp/kanvo-generate.png");
        GenerationSandbox::writeFile(home + "/.local/bin/node", recordingNode);
        QFile::setPermissions(home + "/.local/bin/node", setup.contains(u"noexec")
                                                             ? QFile::ReadOwner
                                                             : QFile::ReadOwner | QFile::ExeOwner);
        if (setup.contains(u"script")) {
            GenerationSandbox::writeFile(t.sandbox.path(scriptPath), "//\n");
        }
        if (setup.contains(u"config")) {
            t.sandbox.writeConfig("steps = 1\n");
        }
        if (setup.contains(u"earlier")) {
            QImage earlier(7, 5, QImage::Format_RGB32);
            earlier.fill(Qt::red);
            QVERIFY(earlier.save(output, "PNG"));
        }
        t.sandbox.setVariable("KANVO_TEST_EXIT", setup.contains(u"fails") ? "3" : "0");
        t.sandbox.setVariable("PATH", "/nowhere");
        t.generate(prompt);
        QTRY_COMPARE(t.status(), expected);
        QVERIFY(!t.bar.progressTimer().isActive());
        QCOMPARE(t.opened(), expected == u"Done." ? QSize(7, 5) : QSize());

        QFile record(home + "/record");
        if (expected != u"Done." && expected != failed) {
            QVERIFY(!record.exists());
            return;
        }
        const QString path = home + "/.local/bin:/usr/local/bin:/usr/bin:/bin";
        const QString config = root + "/resources/generate/defaults.toml";
        const QStringList recorded{t.sandbox.path(scriptPath), "--config", config, output,
                                   "--prompt"};
        QVERIFY(record.open(QIODevice::ReadOnly));
        QCOMPARE(record.readAll(),
                 (recorded + QStringList{prompt, path, root, QString()}).join(QChar(0)).toUtf8());
    }

    void realScriptRun_data() {
        QTest::addColumn<bool>("serverUsed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("local-server") << true << "Done.";
        QTest::newRow("no-server") << false << failed;
    }

    void realScriptRun() {
        QFETCH(bool, serverUsed);
        QFETCH(QString, expected);
        LocalSdServer server;
        QVERIFY(!server.url().isEmpty());
        BarUnderTest t;
        QDir().mkpath(t.sandbox.path("kanvo/scripts"));
        QFile::link(KANVO_SOURCE_DIR "/scripts/kanvo-txt2img.mjs", t.sandbox.path(scriptPath));
        const QString closed =
            QStringLiteral("http://127.0.0.1:%1").arg(LocalSdServer::closedPort());
        t.writeConfig(serverUsed ? server.url() : closed);
        t.generate(QStringLiteral("a lighthouse at dusk"));
        QCOMPARE(t.status(), generating0);
        static const QRegularExpression percent(QString::fromUtf8("^Generating\u2026 (\\d+)%$"));
        QTRY_VERIFY_WITH_TIMEOUT(!serverUsed || percent.match(t.status()).captured(1).toInt() > 0,
                                 10000);
        QTRY_COMPARE_WITH_TIMEOUT(t.status(), expected, 15000);
        QVERIFY(!t.bar.progressTimer().isActive());
        QCOMPARE(t.opened(), serverUsed ? QSize(64, 48) : QSize());
    }

    // One poll is sent by hand; a stop before its answer must drop it.
    void pollAnswer_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("stopFirst");
        QTest::addColumn<QString>("expected");
        QTest::newRow("dropped-after-stop") << "" << true << "";
        QTest::newRow("error-status-body-reads-as-zero") << "/missing" << false << generating0;
    }

    void pollAnswer() {
        QFETCH(QString, path);
        QFETCH(bool, stopFirst);
        QFETCH(QString, expected);
        LocalSdServer server;
        QVERIFY(!server.url().isEmpty());
        BarUnderTest t;
        t.writeConfig(server.url() + path);
        QSignalSpy answered(t.bar.findChild<QNetworkAccessManager*>(),
                            &QNetworkAccessManager::finished);
        t.bar.startProgressPolling();
        t.bar.pollProgress();
        if (stopFirst) {
            t.bar.stopProgressPolling();
        }
        QVERIFY(answered.wait(5000));
        QCOMPARE(t.status(), expected);
    }
};

QTEST_MAIN(TestGenerateBar)
#include "tst_generatebar.moc"
