#pragma once

#include <QProcess>
#include <QTcpServer>

// The repository's stand-in generation server on a free loopback port. It
// is killed, by its own pid, when the object goes.
class LocalSdServer {
public:
    LocalSdServer() {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start("node", {KANVO_SOURCE_DIR "/server/kanvo-sd-server.mjs", "--port", "0"});
        while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
        }
        // The one line the server prints on standard output ends with its address.
        url_ = QString::fromUtf8(process_.readLine()).trimmed().section(u' ', -1);
    }

    ~LocalSdServer() {
        process_.kill();
        process_.waitForFinished(5000);
    }

    // Empty when the server did not come up.
    QString url() const { return url_; }

    // A loopback port on which nothing listens.
    static quint16 closedPort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

private:
    QProcess process_;
    QString url_;
};
