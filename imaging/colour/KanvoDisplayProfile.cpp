#include "imaging/colour/KanvoDisplayProfile.h"

#include <QGuiApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>
#include <memory>

#if KANVO_HAS_XCB
#include <xcb/xcb.h>
#endif

namespace {

QMutex mutex;
QWaitCondition set;
KanvoIccProfile displayProfile;
bool awaited = false;

#if KANVO_HAS_XCB
template <typename Reply> using XcbReply = std::unique_ptr<Reply, decltype(&std::free)>;

QByteArray rootWindowProfile(xcb_connection_t* connection) {
    static constexpr char name[] = "_ICC_PROFILE";
    const XcbReply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name),
                              nullptr),
        &std::free);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!atom || atom->atom == XCB_ATOM_NONE || screen == nullptr) {
        return {};
    }
    // A profile is a few kilobytes; 16 MiB (in 32-bit units) bounds a bogus
    // one. A larger property is refused, not cut short: its first 16 MiB
    // would pass for a whole profile.
    const XcbReply<xcb_get_property_reply_t> property(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, screen->root, atom->atom,
                                                XCB_ATOM_ANY, 0,
                                                KanvoDisplayProfile::largestProfileBytes / 4),
                               nullptr),
        &std::free);
    if (!property || property->format != 8 || property->bytes_after != 0) {
        return {};
    }
    return QByteArray(static_cast<const char*>(xcb_get_property_value(property.get())),
                      xcb_get_property_value_length(property.get()));
}
#endif

} // namespace

KanvoIccProfile KanvoDisplayProfile::current() {
    QMutexLocker lock(&mutex);
    while (awaited) {
        set.wait(&mutex);
    }
    return displayProfile;
}

void KanvoDisplayProfile::setCurrent(const KanvoIccProfile& iccProfile) {
    const QMutexLocker lock(&mutex);
    displayProfile = iccProfile;
    awaited = false;
    set.wakeAll();
}

void KanvoDisplayProfile::awaitCurrent() {
    const QMutexLocker lock(&mutex);
    awaited = true;
}

KanvoIccProfile KanvoDisplayProfile::fromWindowSystem() {
#if KANVO_HAS_XCB
    // Other platforms (offscreen, Wayland) may answer for X11 without a
    // connection of their own.
    if (qGuiApp == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return {};
    }
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        x11 != nullptr && x11->connection() != nullptr) {
        return rootWindowProfile(x11->connection());
    }
#endif
    return {};
}
