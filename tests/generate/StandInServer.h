#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The stand-in generation server with `options` (its fault modes, its pace),
// on a free port of 127.0.0.1; stopped with the object. Needs
// KANVO_SOURCE_DIR.
class StandInServer {
public:
    explicit StandInServer(const QStringList& options) {
        process_.start("node",
                       QStringList{KANVO_SOURCE_DIR "/server/kanvo-sd-server.mjs", "--port", "0"} +
                           options);
        // Its one line of output ends with its address.
        if (process_.waitForReadyRead(10000) && process_.canReadLine()) {
            url_ = QString::fromUtf8(process_.readLine()).trimmed().section(u' ', -1);
        }
    }
    ~StandInServer() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    StandInServer(const StandInServer&) = delete;
    StandInServer& operator=(const StandInServer&) = delete;

    QString url() const { return url_; }

private:
    QProcess process_;
    QString url_;
};
