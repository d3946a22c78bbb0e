#include "CorpusCases.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <utility>

namespace {

// Folder prefix to category, in the order the corpus README lists them.
const std::pair<const char*, const char*> categories[] = {
    {"png/pngsuite/", "PngSuite"},
    {"png/libpng-testpngs/", "libpng test set"},
    {"png/libspng-crashers/", "libspng crashers"},
    {"png/image-png/", "image-png"},
    {"jpeg/libjpeg-turbo-variants/", "libjpeg-turbo variants"},
    {"jpeg/libjpeg-turbo-testimages/", "libjpeg-turbo test images"},
    {"jpeg/jpeg-decoder-reftest/", "jpeg-decoder reftest"},
    {"jpeg/jpeg-decoder-crashtest/", "jpeg-decoder crashtest"},
    {"jpeg/reported-bugs/", "reported bugs"},
    {"jpeg/fuzz-found/", "fuzz-found"},
    {"ppm/", "PPM"},
    {"photo/orientation/", "orientation photos"},
    {"photo/wide-gamut/", "wide-gamut photos"},
};

// A folder the table does not know still gets a category of its own rather
// than disappearing from the run.
QString categoryOf(const QString& relativePath) {
    for (const auto& [prefix, category] : categories) {
        if (relativePath.startsWith(QLatin1String(prefix))) {
            return QString::fromLatin1(category);
        }
    }
    return relativePath.section('/', 0, 1);
}

CorpusFormat formatOf(const QString& column) {
    if (column == "jpeg") {
        return CorpusFormat::Jpeg;
    }
    if (column == "png") {
        return CorpusFormat::Png;
    }
    if (column == "pnm") {
        return CorpusFormat::Pnm;
    }
    return CorpusFormat::Unknown; // "jpeg?", "png?": not even a readable signature
}

CorpusVerdict verdictOf(const QString& column) {
    if (column == "ok") {
        return CorpusVerdict::Ok;
    }
    if (column == "warn") {
        return CorpusVerdict::Warn;
    }
    return CorpusVerdict::Fail;
}

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
        QString line = QString::fromUtf8(table.readLine());
        if (line.endsWith('\n')) {
            line.chop(1);
        }
        const QStringList columns = line.split('\t');
        if (columns.size() < 4) {
            continue;
        }
        CorpusCase entry;
        entry.relativePath = columns[0];
        entry.category = categoryOf(entry.relativePath);
        entry.format = formatOf(columns[1]);
        entry.verdict = verdictOf(columns[2]);
        entry.exifOrientation = orientationOf(columns[3]);
        entry.referenceMessage = columns.value(4);
        cases.append(entry);
    }
    return cases;
}

bool CorpusCases::acceptedByHeaderRules(const CorpusCase& entry, const QString& root) {
    const QString suffix = QFileInfo(entry.relativePath).suffix().toLower();
    switch (entry.format) {
    case CorpusFormat::Png:
        return suffix == "png";
    case CorpusFormat::Jpeg:
        return suffix == "jpg" || suffix == "jpeg";
    case CorpusFormat::Pnm:
        return suffix == "ppm" && isEightBitP6(QDir(root).filePath(entry.relativePath));
    case CorpusFormat::Unknown:
        break;
    }
    return false;
}
