#pragma once

#include <QIcon>
#include <QString>

// Icons named by the symbol names the layout uses ("trash", "hand.raised"),
// drawn from the Breeze icon theme.
class KanvoSymbols {
public:
    // The icon for a symbol name; a name without a table entry is tried as a
    // theme icon name. A null icon means there is no such symbol.
    static QIcon icon(const QString& name);

    // Points Qt at the system icon folders and selects Breeze. The offscreen
    // and minimal platforms choose no theme of their own, so call this once at
    // start-up, after the application object exists.
    static void installIconTheme();
};
