#include "app/KanvoMenuBuilder.h"

#include "app/KanvoAppDelegate.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeySequence>
#include <QMenuBar>

QMenuBar* KanvoMenuBuilder::makeMainMenu(KanvoAppDelegate* target) {
    auto* menuBar = new QMenuBar;

    // Where there is a global application menu (macOS), the quit role moves
    // this item into it; elsewhere the "Kanvo" menu stands in for it.
    QMenu* appMenu = menuBar->addMenu(QStringLiteral("Kanvo"));
    QAction* quit = appMenu->addAction(QStringLiteral("Quit Kanvo"));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    quit->setMenuRole(QAction::QuitRole);
    QObject::connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);

    QMenu* fileMenu = menuBar->addMenu(QStringLiteral("File"));
    QAction* open = fileMenu->addAction(QStringLiteral("Open..."));
    open->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    QObject::connect(open, &QAction::triggered, target, &KanvoAppDelegate::openDocument);
    QAction* exportAs = fileMenu->addAction(QStringLiteral("Export As..."));
    exportAs->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    QObject::connect(exportAs, &QAction::triggered, target, &KanvoAppDelegate::exportDocument);

    QMenu* viewMenu = menuBar->addMenu(QStringLiteral("View"));
    QAction* fit = viewMenu->addAction(QStringLiteral("Fit to Screen"));
    fit->setShortcut(QKeySequence(QStringLiteral("Ctrl+0")));
    QObject::connect(fit, &QAction::triggered, target, &KanvoAppDelegate::fitToScreen);

    return menuBar;
}
