#include "app/KanvoSessionBus.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QString>

void KanvoSessionBus::markAbsentWhereNoneCanBeHad() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"))) {
        return;
    }
    if (!QStandardPaths::findExecutable(QStringLiteral("dbus-launch")).isEmpty()) {
        return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}
