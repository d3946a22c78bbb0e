#pragma once

class KanvoAppDelegate;
class QMenuBar;

class KanvoMenuBuilder {
public:
    // The main menu: "Kanvo" (quit), "File" (open, export) and "View" (fit),
    // the File and View commands sent to the target. The caller owns it.
    static QMenuBar* makeMainMenu(KanvoAppDelegate* target);
};
