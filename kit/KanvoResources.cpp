#include "kit/KanvoResources.h"

#include <QCoreApplication>
#include <QDir>

QString KanvoResources::directory() {
#ifdef Q_OS_MACOS
    const char* relative = "/../Resources";
#else
    const char* relative = "/../share/kanvo";
#endif
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1String(relative));
}
