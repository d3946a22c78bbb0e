// Whole runs: the real generate script under the real node against the local
// stand-in server, and the progress poll against servers on loopback. Runs
// from a temporary tree (run-from-temp-tree.sh).
#include "GenerationSandbox.h"
#include "LocalSdServer.h"
#include "canvas/KanvoCanvasView.h"
#include "generate/KanvoGenerateBar.h"
#include "kanvo/ui/document_session.h"

#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

const QString failed = QString::fromUtf8("Failed \u2014 is Forge running?");

QByteArray configFor(const QString& url) {
    return "sd_url = \"" + url.toUtf8() +
           "\"\nsteps = 12\nwidth = 64\nheight = 48\nseed = 7\ntimeout_s = 60\n";
}

struct BarUnderTest {
    kanvo::ui::DocumentSession session;
    KanvoCanvasView canvas{QRectF(0, 0, 400, 300), nullptr};
    KanvoGenerateBar bar{QRectF(78, 44, 640, 58), &canvas, nullptr};

    BarUnderTest() { canvas.setSession(&session); }
    QString status() const { return bar.genStatus()->text(); }
};

// Answers one HTTP request on a connection the test accepted.
void answer(QTcpSocket* socket, const QByteArray& statusLine, const QByteArray& body) {
    socket->write("HTTP/1.1 " + statusLine + "\r\nContent-Type: application/json\r\n" +
                  "Content-Length: " + QByteArray::number(body.size()) +
                  "\r\nConnection: close\r\n\r\n" + body);
    socket->flush();
}

} // namespace

class TestGenerateRun : public QObject {
    Q_OBJECT
private slots:
    void generationShowsProgressThenOpensTheImage() {
        LocalSdServer server({QStringLiteral("--step-ms"), QStringLiteral("250")});
        QVERIFY(!server.url().isEmpty());
        GenerationSandbox sandbox;
        sandbox.linkRealScript();
        sandbox.writeConfig(configFor(server.url()));
        BarUnderTest t;
        t.bar.promptField()->setText(QStringLiteral("a lighthouse at dusk"));
        t.bar.generateTapped();
        QCOMPARE(t.status(), QString::fromUtf8("Generating\u2026 0%"));

        static const QRegularExpression partway(QString::fromUtf8("^Generating\u2026 (\\d+)%$"));
        QTRY_VERIFY_WITH_TIMEOUT(partway.match(t.status()).captured(1).toInt() > 0, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(t.status(), QStringLiteral("Done."), 15000);
        QVERIFY(!t.bar.progressTimer().isActive());
        QVERIFY(t.session.document());
        QCOMPARE(t.session.document()->canvas.width, std::size_t(64));
        QCOMPARE(t.session.document()->canvas.height, std::size_t(48));
        QCOMPARE(QString::fromStdString(t.session.document()->path.string()), sandbox.outputPath());
        const QJsonObject counts = server.status();
        QCOMPARE(counts.value(QLatin1String("txt2img_count")).toInt(), 1);
        QVERIFY(counts.value(QLatin1String("progress_count")).toInt() >= 1);
    }

    void generationWithoutServerFails() {
        GenerationSandbox sandbox;
        sandbox.linkRealScript();
        sandbox.writeConfig(
            configFor(QStringLiteral("http://127.0.0.1:%1").arg(LocalSdServer::closedPort())));
        BarUnderTest t;
        t.bar.promptField()->setText(QStringLiteral("a lighthouse at dusk"));
        t.bar.generateTapped();
        QTRY_COMPARE_WITH_TIMEOUT(t.status(), failed, 15000);
        QVERIFY(!t.bar.progressTimer().isActive());
        QVERIFY(!t.session.document());
    }

    // Each poll is answered by hand, so the test decides when an answer
    // arrives relative to the poll's stop.
    void pollShowsAnswersOnlyWhileRunning() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        GenerationSandbox sandbox;
        sandbox.writeConfig(
            configFor(QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort())));
        BarUnderTest t;
        auto* network = t.bar.findChild<QNetworkAccessManager*>();
        QVERIFY(network);
        QSignalSpy replies(network, &QNetworkAccessManager::finished);

        const auto nextRequest = [&server]() -> QTcpSocket* {
            if (!server.hasPendingConnections()) {
                QSignalSpy connected(&server, &QTcpServer::newConnection);
                if (!connected.wait(5000)) {
                    return nullptr;
                }
            }
            QTcpSocket* socket = server.nextPendingConnection();
            while (!socket->canReadLine() && socket->waitForReadyRead(5000)) {
            }
            return socket->readLine().startsWith("GET /sdapi/v1/progress HTTP/1.1") ? socket
                                                                                    : nullptr;
        };

        t.bar.startProgressPolling();
        QTcpSocket* first = nextRequest();
        QVERIFY(first);
        answer(first, "200 OK", R"({"progress":0.29,"state":{}})");
        QTRY_COMPARE(t.status(), QString::fromUtf8("Generating\u2026 28%"));

        QTcpSocket* second = nextRequest();
        QVERIFY(second);
        answer(second, "500 Internal Server Error", R"({"detail":"boom"})");
        QTRY_COMPARE(t.status(), QString::fromUtf8("Generating\u2026 0%"));

        QTcpSocket* third = nextRequest();
        QVERIFY(third);
        t.bar.stopProgressPolling();
        replies.clear();
        answer(third, "200 OK", R"({"progress":0.9})");
        QVERIFY(replies.wait(5000));
        QCOMPARE(t.status(), QString::fromUtf8("Generating\u2026 0%"));
    }
};

QTEST_MAIN(TestGenerateRun)
#include "tst_generaterun.moc"
