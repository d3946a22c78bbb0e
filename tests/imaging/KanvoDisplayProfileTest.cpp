#include "imaging/colour/KanvoDisplayProfile.h"

#include "TestImages.h"
#include "imaging/colour/KanvoColorTransform.h"
#include "imaging/colour/KanvoLcms.h"

#include <QColorSpace>
#include <QGuiApplication>
#include <QtTest>
#include <future>
#include <xcb/xcb.h>

namespace {

using kanvo::test::wideGamutProfile;

// What a colour manager does for a calibrated monitor: the profile's bytes as
// the root window's _ICC_PROFILE property; none at all for an empty one. Sent
// in pieces that each fit a request, however large the whole.
void publishDisplayProfile(const QByteArray& profile) {
    constexpr qsizetype piece = 128 * 1024;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, 12, "_ICC_PROFILE"), nullptr);
    xcb_delete_property(connection, screen->root, atom->atom);
    for (qsizetype at = 0; at < profile.size(); at += piece) {
        const QByteArray part = profile.mid(at, piece);
        xcb_change_property(connection, XCB_PROP_MODE_APPEND, screen->root, atom->atom,
                            XCB_ATOM_CARDINAL, 8, quint32(part.size()), part.constData());
    }
    // A round trip: the server has applied the change before anyone else
    // (Qt's own connection) asks for the property.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    std::free(atom);
    xcb_disconnect(connection);
}

QRgb converted(const KanvoColorTransform& transform, QRgb colour) {
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.setPixel(0, 0, colour);
    transform.convert(pixel);
    return pixel.pixel(0, 0);
}

QByteArray saved(const KanvoLcms::Profile& profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile.get(), nullptr, &size);
    QByteArray bytes(qsizetype(size), '\0');
    cmsSaveProfileToMem(profile.get(), bytes.data(), &size);
    return bytes;
}

QByteArray greyProfile() {
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    const KanvoLcms::Profile grey(cmsCreateGrayProfile(cmsD50_xyY(), gamma));
    cmsFreeToneCurve(gamma);
    return saved(grey);
}

QByteArray srgbDeviceLink() {
    const KanvoLcms::Profile srgb(cmsCreate_sRGBProfile());
    const KanvoLcms::Transform identity(
        cmsCreateTransform(srgb.get(), TYPE_RGB_8, srgb.get(), TYPE_RGB_8, INTENT_PERCEPTUAL, 0));
    return saved(KanvoLcms::Profile(cmsTransform2DeviceLink(identity.get(), 4.3, 0)));
}

} // namespace

// Runs on X11 (under Xvfb): the profile is read from the real window system.
class KanvoDisplayProfileTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            QSKIP("needs the xcb platform");
        }
    }

    // Without a published profile the display is sRGB: an sRGB photo is
    // left alone. With a wide-gamut display's profile published (sRGB's red
    // and blue primaries, a greener green), the same photo is converted to
    // it, and sRGB red becomes the less saturated red that display stores.
    void embeddedProfilesConvertToThePublishedOne() {
        const QByteArray srgb = QColorSpace(QColorSpace::SRgb).iccProfile();
        publishDisplayProfile({});
        QVERIFY(KanvoDisplayProfile::fromWindowSystem().isEmpty());
        KanvoDisplayProfile::setCurrent(KanvoDisplayProfile::fromWindowSystem());
        QVERIFY(!KanvoColorTransform::toDisplay(srgb));

        const QByteArray wide = wideGamutProfile();
        publishDisplayProfile(wide);
        QCOMPARE(KanvoDisplayProfile::fromWindowSystem(), wide);
        KanvoDisplayProfile::setCurrent(KanvoDisplayProfile::fromWindowSystem());
        const auto toWide = KanvoColorTransform::toDisplay(srgb);
        QVERIFY(toWide);
        const QRgb red = converted(*toWide, qRgb(255, 0, 0));
        QVERIFY2(qRed(red) < 225 && qGreen(red) < 5 && qBlue(red) < 5,
                 qPrintable(QColor(red).name()));
    }

    // A decode started before the display's profile was read waits for it
    // rather than converting to the one set before.
    void conversionWaitsForAnAwaitedProfile() {
        const QByteArray wide = wideGamutProfile();
        KanvoDisplayProfile::setCurrent({});
        KanvoDisplayProfile::awaitCurrent();
        std::future<KanvoIccProfile> read =
            std::async(std::launch::async, &KanvoDisplayProfile::current);
        QVERIFY(read.wait_for(std::chrono::milliseconds(50)) == std::future_status::timeout);
        KanvoDisplayProfile::setCurrent(wide);
        QVERIFY(read.get() == wide);
        KanvoDisplayProfile::setCurrent({});
    }

    // Another client's property may be any size: one of just the limit is
    // read whole, a byte more is refused, since its first 16 MiB would pass
    // for a whole profile.
    void propertyOverTheLimitIsRefused() {
        const QByteArray wide = wideGamutProfile();
        const QByteArray atLimit =
            wide + QByteArray(KanvoDisplayProfile::largestProfileBytes - wide.size(), '\0');
        publishDisplayProfile(atLimit);
        QVERIFY(KanvoDisplayProfile::fromWindowSystem() == atLimit);
        publishDisplayProfile(atLimit + '\0');
        QVERIFY(KanvoDisplayProfile::fromWindowSystem().isEmpty());
        publishDisplayProfile({});
    }

    // A published profile that colours cannot be converted into (a grey one,
    // a device link) counts as sRGB, like none: a wide-gamut photo is still
    // converted, and as to sRGB.
    void profileNothingConvertsIntoCountsAsSrgb() {
        const QByteArray wide = wideGamutProfile();
        KanvoDisplayProfile::setCurrent({});
        const auto toSrgb = KanvoColorTransform::toDisplay(wide);
        QVERIFY(toSrgb);
        const QRgb green = converted(*toSrgb, qRgb(0, 255, 0));
        for (const QByteArray& display : {greyProfile(), srgbDeviceLink()}) {
            KanvoDisplayProfile::setCurrent(display);
            const auto transform = KanvoColorTransform::toDisplay(wide);
            QVERIFY(transform);
            QCOMPARE(converted(*transform, qRgb(0, 255, 0)), green);
        }
        KanvoDisplayProfile::setCurrent({});
    }
};

QTEST_MAIN(KanvoDisplayProfileTest)
#include "KanvoDisplayProfileTest.moc"
