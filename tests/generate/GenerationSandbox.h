#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

// A private world for one test: KANVO_ROOT, HOME and TMPDIR point at the
// folders "kanvo", "home" and "tmp" of a fresh temporary folder. TMPDIR gets
// its old value back when it goes, so that the next sandbox has a home.
class GenerationSandbox {
public:
    GenerationSandbox() {
        for (const auto& [name, folder] :
             {std::pair{"KANVO_ROOT", "kanvo"}, {"HOME", "home"}, {"TMPDIR", "tmp"}}) {
            QDir().mkpath(path(folder));
            qputenv(name, path(folder).toUtf8());
        }
    }
    ~GenerationSandbox() { qputenv("TMPDIR", savedTmp_); }

    QString path(const QString& relative) const { return dir_.filePath(relative); }

    bool write(const QString& relative, const QByteArray& content) const {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    bool writeConfig(const QByteArray& text) const {
        return write(QStringLiteral("kanvo/resources/generate/defaults.toml"), text);
    }

private:
    const QByteArray savedTmp_ = qgetenv("TMPDIR");
    QTemporaryDir dir_;
};
