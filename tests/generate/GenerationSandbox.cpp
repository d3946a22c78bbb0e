#include "GenerationSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

GenerationSandbox::GenerationSandbox() {
    for (const char* name : {"kanvo", "home", "tmp"}) {
        QDir(dir_.path()).mkpath(QString::fromLatin1(name));
    }
    setVariable("KANVO_ROOT", kanvoRoot().toUtf8());
    setVariable("HOME", home().toUtf8());
    setVariable("TMPDIR", tempDir().toUtf8());
}

GenerationSandbox::~GenerationSandbox() {
    for (const auto& [name, value] : saved_) {
        if (value) {
            qputenv(name.constData(), *value);
        } else {
            qunsetenv(name.constData());
        }
    }
}

void GenerationSandbox::setVariable(const char* name, const QByteArray& value) {
    if (!saved_.contains(name)) {
        saved_[name] =
            qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    }
    qputenv(name, value);
}

QString GenerationSandbox::kanvoRoot() const {
    return dir_.filePath(QStringLiteral("kanvo"));
}
QString GenerationSandbox::home() const {
    return dir_.filePath(QStringLiteral("home"));
}
QString GenerationSandbox::tempDir() const {
    return dir_.filePath(QStringLiteral("tmp"));
}

QString GenerationSandbox::outputPath() const {
    return tempDir() + QStringLiteral("/kanvo-generate.png");
}

void GenerationSandbox::writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) < 0) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

void GenerationSandbox::writeConfig(const QByteArray& text) const {
    writeFile(kanvoRoot() + QStringLiteral("/resources/generate/defaults.toml"), text);
}

void GenerationSandbox::linkRealScript() const {
    const QString link = kanvoRoot() + QStringLiteral("/scripts/kanvo-txt2img.mjs");
    QDir().mkpath(QFileInfo(link).path());
    QFile::link(QStringLiteral(KANVO_SOURCE_DIR "/scripts/kanvo-txt2img.mjs"), link);
}

void GenerationSandbox::writePlaceholderScript() const {
    writeFile(kanvoRoot() + QStringLiteral("/scripts/kanvo-txt2img.mjs"), "// placeholder\n");
}

void GenerationSandbox::writeNode(const QByteArray& content, bool executable) const {
    const QString path = home() + QStringLiteral("/.local/bin/node");
    writeFile(path, content);
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (executable) {
        permissions |= QFile::ExeOwner;
    }
    QFile::setPermissions(path, permissions);
}
