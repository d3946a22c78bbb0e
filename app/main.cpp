#include "app/KanvoAppDelegate.h"
#include "app/KanvoCommandLine.h"
#include "app/KanvoFirstPaintReport.h"
#include "app/KanvoWindowFactory.h"
#include "imaging/colour/KanvoDisplayProfile.h"
#include "kit/KanvoStyle.h"
#include "kit/KanvoSymbols.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QIcon>
#include <QMainWindow>
#include <QThreadPool>
#include <cstdio>

namespace {

QStringList argumentList(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("Kanvo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KANVO_VERSION));
    // Answered before the GUI connects to a display: parsing prints the text and exits.
    if (KanvoCommandLine::asksForTextOnly(argumentList(argc, argv))) {
        const QCoreApplication terminal(argc, argv);
        KanvoCommandLine::parse(QCoreApplication::arguments(), QDir::currentPath());
    }
    QApplication application(argc, argv);
    // Embedded colour profiles are converted to the screen's own where the
    // window system publishes one.
    KanvoDisplayProfile::setCurrent(KanvoDisplayProfile::fromWindowSystem());
    // Reading the system's font configuration takes a few milliseconds; on
    // another core it overlaps building the window instead of stalling its
    // first text layout, which waits for it on the font database's lock.
    QThreadPool::globalInstance()->start([] { (void)QFontDatabase::families(); });
    // Matches the window to its desktop entry (X11 and Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral(KANVO_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/" KANVO_APP_ID ".svg")));
    const KanvoCommandLine commandLine =
        KanvoCommandLine::parse(QApplication::arguments(), QDir::currentPath());
    // The file named on the command line is read and decoded on other cores
    // while this one builds the window.
    if (commandLine.file) {
        KanvoWindowFactory::startDecodingForCanvas(*commandLine.file);
    }
    if (!commandLine.ignored.isEmpty()) {
        std::fprintf(stderr, "kanvo: opens one file at a time; ignoring %s\n",
                     qPrintable(commandLine.ignored.join(QStringLiteral(", "))));
    }
    KanvoSymbols::installIconTheme();
    QApplication::setStyle(new KanvoStyle); // before the first widget is made

    KanvoAppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    if (qEnvironmentVariableIsSet("KANVO_REPORT_FIRST_PAINT")) {
        KanvoFirstPaintReport::install(delegate.window());
    }
    if (commandLine.file) {
        delegate.openFile(*commandLine.file);
    }
    QApplication::exec();
    return 0;
}
