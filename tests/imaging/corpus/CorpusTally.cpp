#include "CorpusTally.h"

void CorpusTally::record(const QString& check, const QString& category, bool passed, bool skipped) {
    Counts& counts = counts_[{check, category}];
    if (skipped) {
        ++counts.skipped;
    } else if (passed) {
        ++counts.passed;
    } else {
        ++counts.failed;
    }
}

QString CorpusTally::report() const {
    QString text;
    for (auto it = counts_.cbegin(); it != counts_.cend(); ++it) {
        const Counts& counts = it.value();
        text += QStringLiteral("%1 | %2 | %3 passed, %4 failed")
                    .arg(it.key().first, -26)
                    .arg(it.key().second, -26)
                    .arg(counts.passed, 4)
                    .arg(counts.failed, 4);
        if (counts.skipped > 0) {
            text += QStringLiteral(", %1 skipped").arg(counts.skipped);
        }
        text += '\n';
    }
    return text;
}
