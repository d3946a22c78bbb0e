#pragma once

#include "imaging/colour/KanvoIccProfile.h"

// The colour profile of the screen Kanvo draws on: what embedded profiles are
// converted to. Empty means sRGB, which is what a display without a published
// profile is taken to be.
namespace KanvoDisplayProfile {

KanvoIccProfile current();
void setCurrent(const KanvoIccProfile& iccProfile);

// Until the next setCurrent(), current() waits: a decode started before the
// application has connected to the window system must not convert to a
// profile nobody has read yet.
void awaitCurrent();

// The largest profile fromWindowSystem() takes.
constexpr quint32 largestProfileBytes = 16 << 20;

// The profile the window system publishes for its first screen, or empty:
// on X11 the root window's _ICC_PROFILE property, which colour managers
// (colord, the desktops' display settings) set from the calibrated monitor.
// Empty too when the property is larger than largestProfileBytes.
KanvoIccProfile fromWindowSystem();

} // namespace KanvoDisplayProfile
