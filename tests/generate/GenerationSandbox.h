#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <map>
#include <optional>

// A private world for one test: KANVO_ROOT, HOME and TMPDIR point at the
// folders "kanvo", "home" and "tmp" of a fresh temporary folder, and every
// variable set through the sandbox is restored when it goes.
class GenerationSandbox {
public:
    GenerationSandbox() {
        for (const auto& [name, folder] :
             {std::pair{"KANVO_ROOT", "kanvo"}, {"HOME", "home"}, {"TMPDIR", "tmp"}}) {
            QDir().mkpath(path(folder));
            setVariable(name, path(folder).toUtf8());
        }
    }
    ~GenerationSandbox() {
        for (const auto& [name, value] : saved_) {
            value ? qputenv(name.constData(), *value) : qunsetenv(name.constData());
        }
    }

    QString path(const char* relative) const { return dir_.filePath(QString::fromUtf8(relative)); }

    // std::nullopt unsets; only the first call records the value to restore.
    void setVariable(const char* name, const std::optional<QByteArray>& value) {
        saved_.try_emplace(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                                 : std::nullopt);
        value ? qputenv(name, *value) : qunsetenv(name);
    }

    void writeConfig(const QByteArray& text) const {
        writeFile(path("kanvo/resources/generate/defaults.toml"), text);
    }

    static void writeFile(const QString& path, const QByteArray& content) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) < 0) {
            qFatal("cannot write %s", qPrintable(path));
        }
    }

private:
    QTemporaryDir dir_;
    std::map<QByteArray, std::optional<QByteArray>> saved_;
};
