#include "app/KanvoScreenRatio.h"

#include <QSettings>

namespace {

constexpr auto key = "screen/devicePixelRatio";

// Named here rather than through the application object, which the first
// reading comes before.
QSettings settings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kanvo"),
                     QStringLiteral("Kanvo"));
}

} // namespace

qreal KanvoScreenRatio::remembered() {
    bool isNumber = false;
    const qreal ratio = settings().value(key).toDouble(&isNumber);
    // A hand-edited value out of all reason is not a screen's.
    return isNumber && ratio >= 0.5 && ratio <= 8 ? ratio : 1.0;
}

void KanvoScreenRatio::remember(qreal ratio) {
    QSettings kept = settings();
    if (kept.value(key).toDouble() != ratio) {
        kept.setValue(key, ratio);
    }
}
