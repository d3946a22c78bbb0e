#pragma once

#include <QtGlobal>

class QMainWindow;
class QMenuBar;
class QUrl;

class KanvoWindowFactory {
public:
    // The main window, not yet shown: a workspace of 1500 x 920 points as its
    // content, with the main menu above it where menus live in the window.
    // The window takes ownership of the menu.
    static QMainWindow* makeWindow(QMenuBar* mainMenu);

    // Starts decoding `file` for the canvas of a window still to be made, so
    // the pixels are ready about when the window is: a large JPEG as a
    // preview that covers that canvas on a screen of `devicePixelRatio`,
    // then in full. Nothing happens for a file whose header is refused; the
    // open that follows reports it.
    static void startDecodingForCanvas(const QUrl& file, qreal devicePixelRatio);
};
