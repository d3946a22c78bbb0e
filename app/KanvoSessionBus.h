#pragma once

// The D-Bus session bus, where a session has none to offer.
namespace KanvoSessionBus {

// Qt's accessibility bridge asks for the session bus as the window is built
// and waits for the answer. Given no bus address and no bus in the user's
// runtime folder, libdbus then "autolaunches": it forks the whole process to
// run dbus-launch, which would find or start a bus for the X display. Without
// dbus-launch that can never succeed, and the fork and the failed execs cost
// the first paint their time (some 20 ms of processor time on a slow host).
// There the session is marked as having no bus ("disabled:"), which libdbus
// answers at once; anywhere a bus can be had, nothing changes. Unix but
// macOS, before the application object exists.
void markAbsentWhereNoneCanBeHad();

} // namespace KanvoSessionBus
