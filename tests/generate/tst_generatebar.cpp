// The bar with real children: a recording stand-in for node, and the real
// script against the repository's local server (the backends behind it have
// the node tests). Runs from run-from-temp-tree.sh.
#include "GenerationSandbox.h"
#include "StandInServer.h"
#include "canvas/KanvoCanvasView.h"
#include "generate/KanvoGenerateBar.h"
#include "kanvo/ui/document_session.h"

#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString failed = QString::fromUtf8("Failed \u2014 is Forge running?");
const QString scriptPath = QStringLiteral("kanvo/scripts/kanvo-txt2img.mjs");

struct BarUnderTest {
    GenerationSandbox sandbox;
    kanvo::ui::DocumentSession session;
    KanvoCanvasView canvas{QRectF(0, 0, 400, 300), nullptr};
    KanvoGenerateBar bar{QRectF(78, 44, 640, 58), &canvas, nullptr};

    BarUnderTest() { canvas.setSession(&session); }
    bool configure(const QString& url) {
        return sandbox.writeConfig("sd_url = \"" + url.toUtf8() +
                                   "\"\nsteps = 20\nwidth = 64\nheight = 48\n");
    }
    void generate(const QString& prompt) {
        bar.promptField()->setText(prompt);
        bar.generateTapped();
    }
    QString status() const { return bar.genStatus()->text(); }
};

} // namespace

class TestGenerateBar : public QObject {
    Q_OBJECT
private slots:
    // Refused before anything starts: no prompt, then a configuration but no script.
    void refusesWithoutPromptOrFiles() {
        BarUnderTest t;
        t.generate(QString());
        QCOMPARE(t.status(), QStringLiteral("Enter a prompt first."));
        QVERIFY(t.configure(QStringLiteral("http://127.0.0.1:1")));
        t.generate(QStringLiteral(" "));
        QCOMPARE(t.status(), QStringLiteral("generate script/config not found."));
        QVERIFY(!t.bar.progressTimer().isActive());
    }

    // Node is a script in ~/.local/bin that records its arguments, PATH and KANVO_ROOT,
    // each ended by a NUL, and exits 0 with no image; then it loses its execute bit.
    void nodeGetsThePromptUnchangedThenCannotStart() {
        BarUnderTest t;
        const QString home = t.sandbox.path("home");
        QVERIFY(t.sandbox.write("home/.local/bin/node", R"(#!/bin/sh
printf '%s\0' "$@" "$PATH" "$KANVO_ROOT" > "$HOME/record")"));
        QVERIFY(
            QFile::setPermissions(home + "/.local/bin/node", QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(t.sandbox.write(scriptPath, "//\n") &&
                t.configure(QStringLiteral("http://127.0.0.1:1")));
        qputenv("PATH", qgetenv("PATH") + ":/nowhere"); // never the child's fixed PATH
        const QString prompt = QString::fromUtf8("--steps 1 \"quoted\" 'single'  caf\u00e9 $HOME ");
        t.generate(prompt);
        QTRY_COMPARE(t.status(), failed);
        QFile record(home + "/record");
        QVERIFY(record.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(record.readAll()).split(QChar(0)),
                 QStringList({t.sandbox.path(scriptPath), "--config",
                              t.sandbox.path("kanvo/resources/generate/defaults.toml"),
                              t.sandbox.path("tmp/kanvo-generate.png"), "--prompt", prompt,
                              home + "/.local/bin:/usr/local/bin:/usr/bin:/bin",
                              t.sandbox.path("kanvo"), ""}));

        QVERIFY(QFile::setPermissions(home + "/.local/bin/node", QFile::ReadOwner));
        t.generate(prompt);
        QTRY_COMPARE(t.status(), QStringLiteral("Could not launch node."));
        QVERIFY(!t.bar.progressTimer().isActive());
    }

    // A run with the local server, then one with none: the second must fail
    // although the first one's image is still there.
    void realScriptRuns() {
        const StandInServer server(QStringList{});
        BarUnderTest t;
        QVERIFY(!server.url().isEmpty());
        QVERIFY(QFile::link(KANVO_SOURCE_DIR "/scripts", t.sandbox.path("kanvo/scripts")));
        QVERIFY(t.configure(server.url()));
        t.generate(QStringLiteral("a lighthouse at dusk"));
        // The percentage starts at 0 and rises, and the 64 x 48 image arrives.
        QCOMPARE(t.status(), QString::fromUtf8("Generating\u2026 0%"));
        static const QRegularExpression percent(QString::fromUtf8("^Generating\u2026 (\\d+)%$"));
        QTRY_VERIFY_WITH_TIMEOUT(percent.match(t.status()).captured(1).toInt() > 0, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(t.status(), QStringLiteral("Done."), 15000);
        const auto* document = t.session.document();
        QCOMPARE(document ? QSizeF(document->canvas.width, document->canvas.height) : QSizeF(),
                 QSizeF(64, 48));

        // The poll is stopped, so an answer that still comes must be dropped.
        QSignalSpy answered(t.bar.findChild<QNetworkAccessManager*>(),
                            &QNetworkAccessManager::finished);
        t.bar.pollProgress();
        QVERIFY(answered.wait(5000));
        QCOMPARE(t.status(), QStringLiteral("Done."));

        QVERIFY(t.configure(QStringLiteral("http://127.0.0.1:1")));
        t.generate(QStringLiteral("a lighthouse at dusk"));
        QTRY_COMPARE_WITH_TIMEOUT(t.status(), failed, 15000);
    }
};

QTEST_MAIN(TestGenerateBar)
#include "tst_generatebar.moc"
