#include "imaging/colour/KanvoColorTransform.h"

#include "imaging/colour/KanvoDisplayProfile.h"
#include "imaging/colour/KanvoLcms.h"

#include <QCryptographicHash>
#include <QMutex>
#include <QMutexLocker>
#include <list>
#include <vector>

namespace {

// Qt's 32-bit ARGB formats are B, G, R, A in memory on a little-endian machine.
constexpr cmsUInt32Number argb32Layout =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TYPE_BGRA_8 : TYPE_ARGB_8;

// No cache: a transform's one-pixel cache is what makes it unsafe to share
// between threads, and it gains nothing on photographs.
constexpr cmsUInt32Number flags = cmsFLAGS_COPY_ALPHA | cmsFLAGS_NOCACHE;

bool isPremultiplied(QImage::Format format) {
    return format == QImage::Format_ARGB32_Premultiplied ||
           format == QImage::Format_RGBA8888_Premultiplied;
}

// Whether the transform leaves every colour of a coarse grid within a level:
// then it is the display's own profile in all but name.
bool leavesColoursAlone(cmsHTRANSFORM transform) {
    constexpr int steps = 18; // 0, 15, ..., 255 in each channel
    std::vector<uchar> colours;
    colours.reserve(steps * steps * steps * 4);
    for (int r = 0; r < steps; ++r) {
        for (int g = 0; g < steps; ++g) {
            for (int b = 0; b < steps; ++b) {
                colours.insert(colours.end(), {uchar(r * 15), uchar(g * 15), uchar(b * 15), 255});
            }
        }
    }
    std::vector<uchar> converted(colours.size());
    cmsDoTransform(transform, colours.data(), converted.data(), steps * steps * steps);
    for (size_t i = 0; i < colours.size(); ++i) {
        if (std::abs(int(colours[i]) - int(converted[i])) > 1) {
            return false;
        }
    }
    return true;
}

} // namespace

struct KanvoColorTransform::Transforms {
    KanvoLcms::Transform argb32;
    KanvoLcms::Transform rgba8888;
    std::vector<QRgb> greyLevels; // for a grey profile: each level as display RGB
};

KanvoColorTransform::KanvoColorTransform(std::unique_ptr<Transforms> transforms)
    : transforms_(std::move(transforms)) {}

KanvoColorTransform::~KanvoColorTransform() = default;

namespace {

std::vector<QRgb> convertedGreyLevels(cmsHPROFILE grey, cmsHPROFILE display) {
    const KanvoLcms::Transform transform(
        cmsCreateTransform(grey, TYPE_GRAY_8, display, TYPE_RGBA_8, INTENT_PERCEPTUAL, 0));
    if (!transform) {
        return {};
    }
    std::array<uchar, 256> levels;
    for (int i = 0; i < 256; ++i) {
        levels[i] = uchar(i);
    }
    std::array<uchar, 256 * 4> rgba;
    cmsDoTransform(transform.get(), levels.data(), rgba.data(), 256);
    std::vector<QRgb> result(256);
    for (int i = 0; i < 256; ++i) {
        result[i] = qRgb(rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]);
    }
    return result;
}

// Grey files decode to pixels whose three channels are equal; each level
// becomes its converted colour, alpha untouched.
void convertGrey(QImage& image, const std::vector<QRgb>& levels, bool rgbaLayout) {
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            if (rgbaLayout) {
                uchar* pixel = row + 4 * x;
                const QRgb colour = levels[pixel[0]];
                pixel[0] = uchar(qRed(colour));
                pixel[1] = uchar(qGreen(colour));
                pixel[2] = uchar(qBlue(colour));
            } else {
                QRgb& pixel = reinterpret_cast<QRgb*>(row)[x];
                pixel = (levels[qRed(pixel)] & 0x00FFFFFF) | (pixel & 0xFF000000);
            }
        }
    }
}

} // namespace

std::shared_ptr<const KanvoColorTransform>
KanvoColorTransform::toDisplay(const KanvoIccProfile& iccProfile) {
    if (iccProfile.isEmpty()) {
        return nullptr;
    }
    const KanvoIccProfile display = KanvoDisplayProfile::current();
    const QByteArray key =
        QCryptographicHash::hash(iccProfile.bytes() + display.bytes(), QCryptographicHash::Md5);
    static QMutex mutex;
    static std::list<std::pair<QByteArray, std::shared_ptr<const KanvoColorTransform>>> recent;
    {
        const QMutexLocker lock(&mutex);
        for (const auto& [known, transform] : recent) {
            if (known == key) {
                return transform;
            }
        }
    }

    std::shared_ptr<const KanvoColorTransform> made;
    const KanvoLcms::Profile source = KanvoLcms::openProfile(iccProfile);
    const KanvoLcms::Profile target = KanvoLcms::openDisplayProfile(display);
    if (source && cmsGetColorSpace(source.get()) == cmsSigGrayData) {
        auto transforms = std::make_unique<Transforms>();
        transforms->greyLevels = convertedGreyLevels(source.get(), target.get());
        if (!transforms->greyLevels.empty()) {
            made.reset(new KanvoColorTransform(std::move(transforms)));
        }
    } else if (source && cmsGetColorSpace(source.get()) == cmsSigRgbData) {
        auto transforms = std::make_unique<Transforms>();
        transforms->argb32.reset(cmsCreateTransform(source.get(), argb32Layout, target.get(),
                                                    argb32Layout, INTENT_PERCEPTUAL, flags));
        transforms->rgba8888.reset(cmsCreateTransform(source.get(), TYPE_RGBA_8, target.get(),
                                                      TYPE_RGBA_8, INTENT_PERCEPTUAL, flags));
        if (transforms->argb32 && transforms->rgba8888 &&
            !leavesColoursAlone(transforms->rgba8888.get())) {
            made.reset(new KanvoColorTransform(std::move(transforms)));
        }
    }

    const QMutexLocker lock(&mutex);
    recent.emplace_front(key, made);
    if (recent.size() > 8) {
        recent.pop_back();
    }
    return made;
}

void KanvoColorTransform::convert(QImage& image) const {
    if (image.isNull()) {
        return;
    }
    const QImage::Format original = image.format();
    if (isPremultiplied(original)) {
        image.convertTo(original == QImage::Format_RGBA8888_Premultiplied ? QImage::Format_RGBA8888
                                                                          : QImage::Format_ARGB32);
    }
    const QImage::Format format = image.format();
    const bool rgbaLayout = format == QImage::Format_RGBX8888 || format == QImage::Format_RGBA8888;
    if (!rgbaLayout && format != QImage::Format_RGB32 && format != QImage::Format_ARGB32) {
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
    if (!transforms_->greyLevels.empty()) {
        convertGrey(image, transforms_->greyLevels, rgbaLayout);
    } else {
        const cmsHTRANSFORM transform =
            rgbaLayout ? transforms_->rgba8888.get() : transforms_->argb32.get();
        for (int y = 0; y < image.height(); ++y) {
            uchar* row = image.scanLine(y);
            cmsDoTransform(transform, row, row, cmsUInt32Number(image.width()));
        }
    }
    if (image.format() != original) {
        image.convertTo(original);
    }
}
