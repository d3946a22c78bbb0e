// The bar against a fake node: a real child process that records what it was
// given. Runs from a temporary tree (run-from-temp-tree.sh).
#include "GenerationSandbox.h"
#include "canvas/KanvoCanvasView.h"
#include "generate/KanvoGenerateBar.h"
#include "kanvo/ui/document_session.h"
#include "panels/KanvoWorkspaceView.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString generating0 = QString::fromUtf8("Generating\u2026 0%");
const QString failed = QString::fromUtf8("Failed \u2014 is Forge running?");

// Records its arguments (NUL-separated), PATH and KANVO_ROOT, then ends as
// KANVO_TEST_EXIT says: a status, or "signal" to die by SIGKILL.
const QByteArray recordingNode = R"(#!/bin/sh
printf '%s\0' "$@" > "$HOME/argv"
printf '%s' "$PATH" > "$HOME/path"
printf '%s' "$KANVO_ROOT" > "$HOME/root"
[ "$KANVO_TEST_EXIT" = signal ] && kill -KILL $$
exit "${KANVO_TEST_EXIT:-0}"
)";

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct BarUnderTest {
    kanvo::ui::DocumentSession session;
    KanvoCanvasView canvas{QRectF(0, 0, 400, 300), nullptr};
    KanvoGenerateBar bar{QRectF(78, 44, 640, 58), &canvas, nullptr};

    BarUnderTest() { canvas.setSession(&session); }

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
    // The bar is added after the canvas, so it lies above it and takes the
    // presses on its own area.
    void workspaceFloatsTheBarOverTheCanvas() {
        KanvoWorkspaceView workspace(QRectF(0, 0, 1500, 920), nullptr);
        auto* found = workspace.findChild<KanvoGenerateBar*>();
        QVERIFY(found);
        const KanvoGenerateBar& bar = *found;
        QCOMPARE(bar.geometry(), QRect(78, 818, 640, 58));
        QCOMPARE(workspace.childAt(78 + 630, 818 + 50), found);
        QCOMPARE(bar.promptField()->geometry(), QRect(12, 6, 500, 26));
        QCOMPARE(bar.promptField()->placeholderText(),
                 QString::fromUtf8("Describe an image to generate\u2026"));
        auto* button = bar.findChild<QPushButton*>();
        QCOMPARE(button->text(), QStringLiteral("Generate"));
        QCOMPARE(button->geometry(), QRect(522, 4, 106, 30));
        QCOMPARE(bar.genStatus()->geometry(), QRect(14, 36, 612, 16));
        QCOMPARE(bar.genStatus()->text(), QString());
        QVERIFY(!bar.progressTimer().isActive());
    }

    // Return in the prompt field presses the button; Return in another text
    // field of the window is left to that field.
    void returnInTheBarPressesGenerate() {
        GenerationSandbox sandbox;
        QWidget window;
        window.resize(800, 200);
        kanvo::ui::DocumentSession session;
        KanvoCanvasView canvas(QRectF(0, 0, 800, 200), &window);
        canvas.setSession(&session);
        KanvoGenerateBar bar(QRectF(78, 44, 640, 58), &canvas, &window);
        QLineEdit elsewhere(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto* button = bar.findChild<QPushButton*>();
        QSignalSpy clicks(button, &QPushButton::clicked);

        elsewhere.setFocus();
        QTest::keyClick(&elsewhere, Qt::Key_Return);
        QVERIFY(!button->isDown());
        bar.promptField()->setFocus();
        QTest::keyClick(bar.promptField(), Qt::Key_Return);
        QVERIFY(button->isDown());
        QVERIFY(clicks.wait());
        QCOMPARE(bar.genStatus()->text(), QStringLiteral("Enter a prompt first."));
    }

    void nothingLaunchesWithoutPromptOrFiles_data() {
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<bool>("script");
        QTest::addColumn<bool>("config");
        QTest::addColumn<QString>("expected");
        const QString notFound = QStringLiteral("generate script/config not found.");
        QTest::newRow("empty-prompt") << "" << true << true << "Enter a prompt first.";
        QTest::newRow("config-missing") << "a cat" << true << false << notFound;
        QTest::newRow("script-missing") << "a cat" << false << true << notFound;
    }

    void nothingLaunchesWithoutPromptOrFiles() {
        QFETCH(QString, prompt);
        QFETCH(bool, script);
        QFETCH(bool, config);
        QFETCH(QString, expected);
        GenerationSandbox sandbox;
        if (script) {
            sandbox.writePlaceholderScript();
        }
        if (config) {
            sandbox.writeConfig("steps = 1\n");
        }
        sandbox.writeNode(recordingNode, true);
        BarUnderTest t;
        t.generate(prompt);
        QCOMPARE(t.status(), expected);
        QVERIFY(!t.bar.progressTimer().isActive());
    }

    void childGetsItsArgumentsAndEnvironment_data() {
        QTest::addColumn<QString>("prompt");
        QTest::newRow("leading-dashes-quotes-spaces")
            << QStringLiteral("--steps 1 \"quoted\" 'single'  two  spaces ");
        QTest::newRow("only-spaces") << QStringLiteral("   ");
        QTest::newRow("non-ascii") << QString::fromUtf8("caf\u00e9 \u732b\u2014$HOME `x`");
    }

    void childGetsItsArgumentsAndEnvironment() {
        QFETCH(QString, prompt);
        GenerationSandbox sandbox;
        sandbox.writePlaceholderScript();
        sandbox.writeConfig("steps = 1\n");
        sandbox.writeNode(recordingNode, true);
        sandbox.setVariable("PATH", "/nowhere");
        sandbox.setVariable("KANVO_TEST_EXIT", "1");
        BarUnderTest t;
        t.generate(prompt);
        QCOMPARE(t.status(), generating0);
        QVERIFY(t.bar.progressTimer().isActive());
        QTRY_COMPARE(t.status(), failed);

        const QString root = sandbox.kanvoRoot();
        const QByteArrayList expected{
            (root + "/scripts/kanvo-txt2img.mjs").toUtf8(),
            "--config",
            (root + "/resources/generate/defaults.toml").toUtf8(),
            (sandbox.tempDir() + "/kanvo-generate.png").toUtf8(),
            "--prompt",
            prompt.toUtf8(),
        };
        QByteArray argv = readAll(sandbox.home() + "/argv");
        QVERIFY(argv.endsWith('\0'));
        argv.chop(1);
        QCOMPARE(argv.split('\0'), expected);
        QCOMPARE(readAll(sandbox.home() + "/path"),
                 (sandbox.home() + "/.local/bin:/usr/local/bin:/usr/bin:/bin").toUtf8());
        QCOMPARE(readAll(sandbox.home() + "/root"), root.toUtf8());
    }

    void childOutcomeDecidesTheStatus_data() {
        QTest::addColumn<QByteArray>("exit");
        QTest::addColumn<bool>("earlierOutput");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero-exit-opens-earlier-output") << QByteArray("0") << true << "Done.";
        QTest::newRow("zero-exit-without-output") << QByteArray("0") << false << failed;
        QTest::newRow("nonzero-exit-opens-nothing") << QByteArray("3") << true << failed;
        QTest::newRow("killed-by-signal") << QByteArray("signal") << true << failed;
    }

    void childOutcomeDecidesTheStatus() {
        QFETCH(QByteArray, exit);
        QFETCH(bool, earlierOutput);
        QFETCH(QString, expected);
        GenerationSandbox sandbox;
        sandbox.writePlaceholderScript();
        sandbox.writeConfig("steps = 1\n");
        sandbox.writeNode(recordingNode, true);
        if (earlierOutput) {
            QImage earlier(7, 5, QImage::Format_RGB32);
            earlier.fill(Qt::red);
            QVERIFY(earlier.save(sandbox.outputPath(), "PNG"));
        }
        sandbox.setVariable("KANVO_TEST_EXIT", exit);
        BarUnderTest t;
        t.generate(QStringLiteral("a cat"));
        QTRY_COMPARE(t.status(), expected);
        QVERIFY(!t.bar.progressTimer().isActive());
        if (expected == u"Done.") {
            QVERIFY(t.session.document());
            QCOMPARE(t.session.document()->canvas.width, std::size_t(7));
            QCOMPARE(t.session.document()->canvas.height, std::size_t(5));
        } else {
            QVERIFY(!t.session.document());
        }
    }

    void nodeThatCannotRunStopsThePoll() {
        GenerationSandbox sandbox;
        sandbox.writePlaceholderScript();
        sandbox.writeConfig("steps = 1\n");
        sandbox.writeNode(recordingNode, false);
        BarUnderTest t;
        t.generate(QStringLiteral("a cat"));
        QTRY_COMPARE(t.status(), QStringLiteral("Could not launch node."));
        QVERIFY(!t.bar.progressTimer().isActive());
        QVERIFY(!QFile::exists(sandbox.home() + "/argv"));
    }
};

QTEST_MAIN(TestGenerateBar)
#include "tst_generatebar.moc"
