#pragma once

#include <QtGlobal>

// The device pixel ratio of the screen Kanvo's window last opened on, kept
// between launches: what a decode started before the application has
// connected to the window system sizes its preview for. 1 until a window
// has been shown.
namespace KanvoScreenRatio {

qreal remembered();
void remember(qreal ratio);

} // namespace KanvoScreenRatio
