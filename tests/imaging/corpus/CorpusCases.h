#pragma once

#include <QList>
#include <QString>

// The public test images and what a reference decoder made of each one, read
// from the corpus's reference-verdicts.tsv: the table the corpus test is
// driven by.

// What the file's bytes are, whatever its name says.
enum class CorpusFormat { Jpeg, Png, Pnm, Unknown };

struct CorpusCase {
    QString relativePath; // from the corpus root, as the table names it; names the row
    QString path;
    CorpusFormat format = CorpusFormat::Unknown;
    // "ok" (decodes cleanly), "warn" (decodes with a warning: recoverable
    // damage, shown as the reference shows it) or "fail" (refused).
    QString verdict;
    int exifOrientation = 1; // 1 to 8; 1 when absent or out of range
    QString referenceMessage;

    bool isLegal() const { return verdict == "ok" || verdict == "warn"; }
};

namespace CorpusCases {

// The corpus folder: KANVO_CORPUS_DIR from the environment, else the folder
// beside the project's root, fixed when the build was configured.
QString corpusRoot();

// Every row of reference-verdicts.tsv under `root`; empty when there is none.
QList<CorpusCase> read(const QString& root);

// Whether the file is of a kind Kanvo's header gate is made for: a name
// ending in .png, .jpg, .jpeg or .ppm with those bytes behind it, and a PPM
// only as 8-bit P6. Such a file, undamaged, must pass the gate.
bool acceptedByHeaderRules(const CorpusCase& entry);

} // namespace CorpusCases
