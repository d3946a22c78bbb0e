#pragma once

#include <QStringList>
#include <QUrl>
#include <optional>

// What `kanvo [FILE]` asks for: the desktop's "Open with" hands Kanvo the
// file on its command line, where macOS would send an open-document event.
struct KanvoCommandLine {
    // The file to open at launch, as a local-file URL, or nothing.
    std::optional<QUrl> file;
    // Files beyond the first, which the one window cannot show.
    QStringList ignored;

    // Reads the arguments Qt left in `arguments` (the program name first);
    // --help and --version print their text and end the process, as an
    // unknown option does with an error. Relative paths resolve against
    // `workingDirectory`; file: URLs are accepted as they are.
    static KanvoCommandLine parse(const QStringList& arguments, const QString& workingDirectory);

    // Whether the arguments ask only for --help or --version text, which a
    // terminal without a display must still be given.
    static bool asksForTextOnly(const QStringList& arguments);

    // The file of a command line that holds nothing else (`kanvo FILE`, as a
    // desktop launches it), read before Qt has taken its own options out:
    // the URL parse() will give for it, or nothing for any other line.
    static std::optional<QUrl> plainFile(const QStringList& arguments,
                                         const QString& workingDirectory);
};
