#include "LocalSdServer.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>

LocalSdServer::LocalSdServer(const QStringList& flags) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStandardPaths::findExecutable(QStringLiteral("node")),
                   QStringList{QStringLiteral(KANVO_SOURCE_DIR "/server/kanvo-sd-server.mjs"),
                               QStringLiteral("--port"), QStringLiteral("0")} +
                       flags);
    static const QRegularExpression ready(
        QStringLiteral(R"(^kanvo-sd-server listening on (http://127\.0\.0\.1:\d+)$)"));
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
        if (!process_.canReadLine() && !process_.waitForReadyRead(int(deadline.remainingTime()))) {
            continue;
        }
        const QRegularExpressionMatch match =
            ready.match(QString::fromUtf8(process_.readLine()).trimmed());
        if (match.hasMatch()) {
            url_ = match.captured(1);
            return;
        }
    }
}

LocalSdServer::~LocalSdServer() {
    if (process_.state() == QProcess::NotRunning) {
        return;
    }
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QJsonObject LocalSdServer::status() const {
    QNetworkAccessManager network;
    QNetworkRequest request(QUrl(url_ + QStringLiteral("/kanvo/status")));
    request.setTransferTimeout(5000);
    QNetworkReply* reply = network.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    finished.wait(6000);
    const QJsonObject status = QJsonDocument::fromJson(reply->readAll()).object();
    delete reply;
    return status;
}

quint16 LocalSdServer::closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}
