#pragma once

#include <QMap>
#include <QString>
#include <utility>

// Counts each check's rows by category, so a run ends with one line per
// category instead of leaving the reader to count thousands of rows.
class CorpusTally {
public:
    void record(const QString& check, const QString& category, bool passed, bool skipped);
    // One line for each check and category: passed, failed and skipped rows.
    QString report() const;

private:
    struct Counts {
        int passed = 0;
        int failed = 0;
        int skipped = 0;
    };
    QMap<std::pair<QString, QString>, Counts> counts_;
};
