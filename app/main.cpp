#include "app/KanvoAppDelegate.h"
#include "kit/KanvoSymbols.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kanvo"));
    KanvoSymbols::installIconTheme();

    KanvoAppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    QApplication::exec();
    return 0;
}
