#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <map>
#include <optional>

// A private world for one test: KANVO_ROOT, HOME and TMPDIR point into a
// fresh temporary folder for the sandbox's lifetime and are restored after.
class GenerationSandbox {
public:
    GenerationSandbox();
    ~GenerationSandbox();
    GenerationSandbox(const GenerationSandbox&) = delete;
    GenerationSandbox& operator=(const GenerationSandbox&) = delete;

    QString kanvoRoot() const;
    QString home() const;
    QString tempDir() const;
    QString outputPath() const;

    void writeConfig(const QByteArray& text) const;
    // The repository's real generate script, linked so that Node still finds
    // the packages beside its real location.
    void linkRealScript() const;
    void writePlaceholderScript() const;
    // HOME/.local/bin/node with the given content and file permissions.
    void writeNode(const QByteArray& content, bool executable) const;

    static void writeFile(const QString& path, const QByteArray& content);

    // Sets an environment variable until the sandbox goes.
    void setVariable(const char* name, const QByteArray& value);

private:
    QTemporaryDir dir_;
    std::map<QByteArray, std::optional<QByteArray>> saved_;
};
