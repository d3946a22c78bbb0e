#pragma once

#include "CorpusCases.h"
#include "PnmReader.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QString>

// What a reference decoder from Debian makes of a file, as it is stored
// (orientation not applied): djpeg for JPEG, pngtopam for PNG, pamtopnm for
// PNM.
struct ReferenceImage {
    QImage pixels;   // unpremultiplied ARGB32; null when the decoder made no image
    QByteArray cmyk; // CMYK JPEGs: the inverted samples, 4 bytes a pixel, for colour conversion
    QString decoder; // names the reference in failure messages
    QString failure; // why there is no image
};

// Runs the reference decoders as child processes and keeps what they wrote
// in `workFolder` for the rest of the run, so a file is decoded once however
// many checks look at it.
class ReferenceDecoder {
public:
    explicit ReferenceDecoder(QString workFolder);

    ReferenceImage decode(const QString& path, CorpusFormat format);

    // The programs this needs, with the Debian package of each, and which
    // of them are missing from PATH.
    static QStringList missingPrograms();

private:
    struct Produced {
        QString file;    // what the tool wrote
        QString message; // the first line it printed on stderr
    };

    ReferenceImage runTool(const QString& path, const QString& program,
                           const QStringList& arguments,
                           std::optional<PnmReader::ColourKey> transparent = std::nullopt);
    Produced produce(const QString& path, const QString& program, const QStringList& arguments);

    QString workFolder_;
    QHash<QString, Produced> produced_; // by source path
};
