#pragma once

#include <QString>

// Where the generate script and its configuration live, where the generation
// server listens, and how to make it let go of its model when Kanvo quits.
// Nothing is cached: every call looks at the disk again, so a configuration
// edited while Kanvo runs takes effect on the next request.
class KanvoSDBackend {
public:
    // The generate script and its configuration, relative to each base that
    // resolveFile tries.
    static inline const QString scriptPath = QStringLiteral("scripts/kanvo-txt2img.mjs");
    static inline const QString configPath = QStringLiteral("resources/generate/defaults.toml");

    // The first existing path among: the resource directory, the executable's
    // directory and its seven parents, then $KANVO_ROOT if set, each joined
    // with the relative path. Anything that exists counts, directories too.
    // Empty when nothing is found.
    static QString resolveFile(const QString& relative);

    // A configuration is a few lines; a larger file is not read.
    static constexpr qint64 largestConfigBytes = 1 << 20;

    // The server's base address from the configuration's first usable sd_url
    // line, or the default local address when there is none, or when the
    // configuration is no regular file or is larger than largestConfigBytes.
    static QString sdURL();

    // Asks the server to unload its checkpoint and waits for the answer, but
    // never longer than 6 seconds; the outcome is ignored.
    static void unloadCheckpointSync();
};
