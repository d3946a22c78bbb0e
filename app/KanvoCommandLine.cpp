#include "app/KanvoCommandLine.h"

#include <QCommandLineParser>
#include <QDir>

namespace {

// A file: URL as given (a file manager may pass one); anything else is a
// path, relative ones taken from the folder Kanvo was started in.
QUrl localFileURL(const QString& argument, const QString& workingDirectory) {
    if (const QUrl url(argument); url.isLocalFile()) {
        return url;
    }
    return QUrl::fromLocalFile(QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(argument)));
}

} // namespace

KanvoCommandLine KanvoCommandLine::parse(const QStringList& arguments,
                                         const QString& workingDirectory) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A small, fast image editor with a text-to-image bar."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A PNG, JPEG or PPM image to open."),
                                 QStringLiteral("[file]"));
    parser.process(arguments);

    KanvoCommandLine commandLine;
    QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) {
        commandLine.file = localFileURL(files.takeFirst(), workingDirectory);
        commandLine.ignored = files;
    }
    return commandLine;
}

std::optional<QUrl> KanvoCommandLine::plainFile(const QStringList& arguments,
                                                const QString& workingDirectory) {
    if (arguments.size() != 2 || arguments[1].isEmpty() || arguments[1].startsWith(u'-')) {
        return std::nullopt;
    }
    return localFileURL(arguments[1], workingDirectory);
}

bool KanvoCommandLine::asksForTextOnly(const QStringList& arguments) {
    static const QStringList textOptions{"-h", "-?", "--help", "--help-all", "-v", "--version"};
    for (const QString& argument : arguments.sliced(qMin(qsizetype(1), arguments.size()))) {
        if (argument == QLatin1String("--")) {
            return false;
        }
        if (textOptions.contains(argument)) {
            return true;
        }
    }
    return false;
}
