// The progress poll against a server that fails in every way the stand-in
// server can: cut connections, bytes that are not HTTP, answers that stop
// half-way, drip, swell, error pages, or never come. The poll must go on,
// show only what a usable answer says, and leave no reply behind.
// Runs from run-from-temp-tree.sh.
#include "GenerationSandbox.h"
#include "StandInServer.h"
#include "canvas/KanvoCanvasView.h"
#include "generate/KanvoGenerateBar.h"

#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

class TestServerFaults : public QObject {
    Q_OBJECT
private slots:
    void pollSurvivesAFaultyServer_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("shown");
        const QString untouched = QStringLiteral("Generating\u2026 0%");
        // Fault modes named as the stand-in names them: the poll shows nothing new.
        for (const char* fault :
             {"reset", "not-http", "cut-body", "drip", "html-error", "huge-body"}) {
            QTest::newRow(fault) << QStringList{"--fault", fault} << untouched;
        }
        QTest::newRow("answer after 4 s") << QStringList{"--slow-progress"} << untouched;
        QTest::newRow("no answer at all") << QStringList{"--hang"} << untouched;
        QTest::newRow("not a JSON object") << QStringList{"--progress-body", "[0.5]"} << untouched;
        QTest::newRow("usable answer, for contrast")
            << QStringList{"--progress-body", R"({"progress": 0.25})"}
            << QStringLiteral("Generating\u2026 25%");
    }
    void pollSurvivesAFaultyServer() {
        QFETCH(QStringList, options);
        QFETCH(QString, shown);
        const StandInServer server(options);
        QVERIFY(!server.url().isEmpty());
        GenerationSandbox sandbox;
        QVERIFY(sandbox.writeConfig("sd_url = \"" + server.url().toUtf8() + "\"\n"));
        KanvoCanvasView canvas(QRectF(0, 0, 400, 300), nullptr);
        KanvoGenerateBar bar(QRectF(78, 44, 640, 58), &canvas, nullptr);
        auto* network = bar.findChild<QNetworkAccessManager*>();
        QSignalSpy sent(&bar.progressTimer(), &QTimer::timeout);
        QSignalSpy answered(network, &QNetworkAccessManager::finished);

        bar.genStatus()->setText(QStringLiteral("Generating\u2026 0%"));
        bar.startProgressPolling();
        // Two answers (or failures) in a row: the poll goes on after one.
        QTRY_VERIFY_WITH_TIMEOUT(answered.count() >= 2, 15000);
        QCOMPARE(bar.genStatus()->text(), shown);
        bar.stopProgressPolling();
        // Requests still in flight end by themselves; their replies are freed.
        QTRY_COMPARE_WITH_TIMEOUT(answered.count(), sent.count(), 10000);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(network->findChildren<QNetworkReply*>().size(), 0);
        QCOMPARE(bar.genStatus()->text(), shown);
    }
};

QTEST_MAIN(TestServerFaults)
#include "tst_serverfaults.moc"
