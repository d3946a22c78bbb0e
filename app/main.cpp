#include "app/KanvoAppDelegate.h"
#include "app/KanvoCommandLine.h"
#include "app/KanvoFirstPaintReport.h"
#include "app/KanvoScreenRatio.h"
#include "app/KanvoSessionBus.h"
#include "app/KanvoWindowFactory.h"
#include "imaging/colour/KanvoDisplayProfile.h"
#include "kit/KanvoGlyphCache.h"
#include "kit/KanvoStyle.h"
#include "kit/KanvoSymbols.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QMainWindow>
#include <QThreadPool>
#include <QTimer>
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
    const QStringList arguments = argumentList(argc, argv);
    // Answered before the GUI connects to a display: parsing prints the text and exits.
    if (KanvoCommandLine::asksForTextOnly(arguments)) {
        const QCoreApplication terminal(argc, argv);
        KanvoCommandLine::parse(QCoreApplication::arguments(), QDir::currentPath());
    }
    // The file a desktop launches Kanvo with starts decoding on the other
    // cores while Qt connects to the display, about a tenth of the time to
    // the first pixels: its preview sized for the screen the window was on
    // when Kanvo last quit (a screen of another ratio shows that preview
    // until the full image), its colours converted once the display's
    // profile is read.
    const std::optional<QUrl> launchFile =
        KanvoCommandLine::plainFile(arguments, QDir::currentPath());
    if (launchFile) {
        KanvoDisplayProfile::awaitCurrent();
        KanvoWindowFactory::startDecodingForCanvas(*launchFile, KanvoScreenRatio::remembered());
    }
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    KanvoSessionBus::markAbsentWhereNoneCanBeHad();
#endif
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
    const KanvoCommandLine commandLine =
        KanvoCommandLine::parse(QApplication::arguments(), QDir::currentPath());
    // Any other file named on the command line is read and decoded on other
    // cores while this one builds the window.
    if (commandLine.file && commandLine.file != launchFile) {
        KanvoWindowFactory::startDecodingForCanvas(*commandLine.file,
                                                   application.devicePixelRatio());
    }
    if (!commandLine.ignored.isEmpty()) {
        std::fprintf(stderr, "kanvo: opens one file at a time; ignoring %s\n",
                     qPrintable(commandLine.ignored.join(QStringLiteral(", "))));
    }
    KanvoSymbols::installIconTheme();
    QApplication::setStyle(new KanvoStyle); // before the first widget is made
    KanvoGlyphCache& glyphs = KanvoGlyphCache::shared();
    QApplication::setWindowIcon(glyphs.windowIcon(QStringLiteral(":/" KANVO_APP_ID ".svg")));

    KanvoAppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    // Whatever the window had to draw afresh is kept for the next start.
    QTimer::singleShot(0, [&glyphs] { glyphs.save(); });
    // Kept at quit, not at launch, where writing settings would hold up the
    // first paint.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [&delegate] {
        KanvoScreenRatio::remember(delegate.window()->devicePixelRatioF());
    });
    if (qEnvironmentVariableIsSet("KANVO_REPORT_FIRST_PAINT")) {
        KanvoFirstPaintReport::install(delegate.window());
    }
    if (commandLine.file) {
        delegate.openFile(*commandLine.file);
    }
    QApplication::exec();
    return 0;
}
