#pragma once

#include <QtGlobal>

// The device pixel ratio of the screen Kanvo's window was on when Kanvo last
// quit, kept between launches: what a decode started before the application
// has connected to the window system sizes its preview for. 1 until then.
namespace KanvoScreenRatio {

qreal remembered();
void remember(qreal ratio);

} // namespace KanvoScreenRatio
