#include "generate/KanvoGenerateCommand.h"

#include <QDir>
#include <QFileInfo>

QString KanvoGenerateCommand::nodeExecutable() {
    const QString local = QDir::homePath() + QStringLiteral("/.local/bin/node");
    if (QFileInfo::exists(local)) {
        return local;
    }
#ifdef Q_OS_MACOS
    return QStringLiteral("/opt/homebrew/bin/node");
#else
    return QStringLiteral("/usr/bin/node");
#endif
}

QProcessEnvironment KanvoGenerateCommand::childEnvironment() {
#ifdef Q_OS_MACOS
    const QString fixedPath = QStringLiteral("%1/.local/bin:/opt/homebrew/bin:/usr/bin:/bin");
#else
    const QString fixedPath = QStringLiteral("%1/.local/bin:/usr/local/bin:/usr/bin:/bin");
#endif
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), fixedPath.arg(QDir::homePath()));
    return environment;
}

KanvoGenerateCommand KanvoGenerateCommand::make(const QString& script, const QString& config,
                                                const QString& output, const QString& prompt) {
    return {
        nodeExecutable(),
        {script, QStringLiteral("--config"), config, output, QStringLiteral("--prompt"), prompt},
        childEnvironment()};
}
