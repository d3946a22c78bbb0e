#include "imaging/KanvoImageExport.h"

#include "imaging/KanvoImage.h"
#include "imaging/KanvoPngEncoder.h"
#include "imaging/KanvoTiledSource.h"
#include "imaging/jpeg/KanvoJpegEncoder.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

bool isJpegName(const QString& path) {
    const QString extension = QFileInfo(path).suffix().toLower();
    return extension == QLatin1String("jpg") || extension == QLatin1String("jpeg");
}

KanvoRowSource rowsOf(const KanvoImage& image) {
    const int width = image.size().width();
    if (KanvoTiledSource* tiles = image.tiles()) {
        return [tiles, width](int first, int end) {
            return tiles->uprightRegion(QRect(0, first, width, end - first), 1);
        };
    }
    return [pixels = image.pixels(), width](int first, int end) {
        return pixels.copy(0, first, width, end - first);
    };
}

} // namespace

bool KanvoImageExport::write(const KanvoImage& image, const QString& path) {
    if (image.isNull() || image.isPreview() || path.isEmpty()) {
        return false;
    }
    const bool jpeg = isJpegName(path);
    const bool alpha = image.pixels().hasAlphaChannel();
    KanvoIccProfile profile = image.iccProfile();
    // A grey profile describes one channel: the pixels go out grey with it.
    // With alpha they cannot (no grey-and-alpha image to write), so they go
    // out as they are, without it.
    const bool grey = profile.model() == KanvoIccProfile::Model::Grey && (jpeg || !alpha);
    if (profile.model() == KanvoIccProfile::Model::Grey && !grey) {
        profile = {};
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    using Channels = KanvoPngEncoder::Channels;
    const bool encoded =
        jpeg ? KanvoJpegEncoder::write(file, image.size(), grey, profile, rowsOf(image))
             : KanvoPngEncoder::write(file, image.size(),
                                      grey    ? Channels::Grey
                                      : alpha ? Channels::Rgba
                                              : Channels::Rgb,
                                      profile, rowsOf(image));
    return encoded && file.commit();
}
