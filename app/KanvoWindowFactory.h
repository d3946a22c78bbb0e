#pragma once

class QMainWindow;
class QMenuBar;

class KanvoWindowFactory {
public:
    // The main window, not yet shown: a workspace of 1500 x 920 points as its
    // content, with the main menu above it where menus live in the window.
    // The window takes ownership of the menu.
    static QMainWindow* makeWindow(QMenuBar* mainMenu);
};
