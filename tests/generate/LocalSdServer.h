#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// The repository's stand-in generation server, started on a free loopback
// port for one test and stopped (by its own pid) when the object goes.
class LocalSdServer {
public:
    explicit LocalSdServer(const QStringList& flags = {});
    ~LocalSdServer();
    LocalSdServer(const LocalSdServer&) = delete;
    LocalSdServer& operator=(const LocalSdServer&) = delete;

    // Empty when the server did not come up.
    QString url() const { return url_; }
    // The server's own counters: unload_count, txt2img_count, progress_count.
    QJsonObject status() const;

    // A loopback port on which nothing listens.
    static quint16 closedPort();

private:
    QProcess process_;
    QString url_;
};
