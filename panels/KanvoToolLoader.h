#pragma once

#include <QList>
#include <QString>

// One palette entry, as read from a tool manifest.
struct KanvoToolRecord {
    QString id;
    QString label;
    QString icon;
    QString shortcut;
};

class KanvoToolLoader {
public:
    // The tools of the resource directory's "tools" folder, in catalog order.
    static QList<KanvoToolRecord> loadTools();

    // The tools of the given folder. A folder that cannot be listed gives an empty list and a
    // warning on standard error, so the application still starts without a palette. Bytes that
    // are not UTF-8 become replacement characters.
    static QList<KanvoToolRecord> loadTools(const QString& toolsFolder);
};
