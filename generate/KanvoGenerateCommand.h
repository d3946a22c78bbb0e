#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The command line of a generation run: Node.js running the generate script.
// The argument vector is the contract with the script and must not change.
struct KanvoGenerateCommand {
    QString program;
    QStringList arguments;
    QProcessEnvironment environment;

    // Node from ~/.local/bin when there is one there, else the platform's
    // usual place (not checked: a missing node shows as a failed launch).
    static QString nodeExecutable();

    // The whole environment of Kanvo with PATH replaced by a fixed list, so
    // the script sees the same tools however Kanvo was started.
    static QProcessEnvironment childEnvironment();

    static KanvoGenerateCommand make(const QString& script, const QString& config,
                                     const QString& output, const QString& prompt);
};
