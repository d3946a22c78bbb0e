#include "CorpusCases.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// EXIF orientation 0, absent or unreadable means 1.
int orientationOf(const QString& holds) {
    static const QRegularExpression tag(QStringLiteral("\\bexif_orient=(\\d+)"));
    const QRegularExpressionMatch match = tag.match(holds);
    const int value = match.hasMatch() ? match.captured(1).toInt() : 1;
    return value >= 1 && value <= 8 ? value : 1;
}

bool isEightBitP6(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QList<QByteArray> fields = file.read(64).simplified().split(' ');
    return fields.size() >= 4 && fields[0] == "P6" && fields[3].toInt() == 255;
}

} // namespace

QString CorpusCases::corpusRoot() {
    const QByteArray overridden = qgetenv("KANVO_CORPUS_DIR");
    return QDir::cleanPath(overridden.isEmpty() ? QStringLiteral(KANVO_CORPUS_DEFAULT_DIR)
                                                : QString::fromLocal8Bit(overridden));
}

QList<CorpusCase> CorpusCases::read(const QString& root) {
    QFile table(QDir(root).filePath("reference-verdicts.tsv"));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QList<CorpusCase> cases;
    table.readLine(); // the column names
    while (!table.atEnd()) {
        const QStringList columns =
            QString::fromUtf8(table.readLine()).remove(QChar(0x0A)).split('\t');
        if (columns.size() < 4) {
            continue;
        }
        // "jpeg?" and "png?" have not even a readable signature: Unknown.
        const QString format = columns[1];
        cases.append({columns[0], QDir(root).filePath(columns[0]),
                      format == "jpeg"  ? CorpusFormat::Jpeg
                      : format == "png" ? CorpusFormat::Png
                      : format == "pnm" ? CorpusFormat::Pnm
                                        : CorpusFormat::Unknown,
                      columns[2], orientationOf(columns[3]), columns.value(4)});
    }
    return cases;
}

bool CorpusCases::acceptedByHeaderRules(const CorpusCase& entry) {
    const QString suffix = QFileInfo(entry.relativePath).suffix().toLower();
    switch (entry.format) {
    case CorpusFormat::Png:
        return suffix == "png";
    case CorpusFormat::Jpeg:
        return suffix == "jpg" || suffix == "jpeg";
    case CorpusFormat::Pnm:
        return suffix == "ppm" && isEightBitP6(entry.path);
    case CorpusFormat::Unknown:
        break;
    }
    return false;
}
