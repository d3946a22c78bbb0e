#include "imaging/KanvoImageExport.h"

#include "imaging/colour/KanvoIccEmbedding.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace {

bool isJpegName(const QString& path) {
    const QString extension = QFileInfo(path).suffix().toLower();
    return extension == QLatin1String("jpg") || extension == QLatin1String("jpeg");
}

} // namespace

bool KanvoImageExport::write(const QImage& image, const KanvoIccProfile& iccProfile,
                             const QString& path) {
    if (image.isNull() || path.isEmpty()) {
        return false;
    }
    const bool jpeg = isJpegName(path);
    KanvoIccProfile profile = iccProfile;
    QImage pixels = image;
    // A grey profile describes one channel: the pixels go out grey with it.
    // With alpha they cannot (no grey-and-alpha image to write), so they go
    // out as they are, without it.
    if (profile.model() == KanvoIccProfile::Model::Grey) {
        if (image.hasAlphaChannel() && !jpeg) {
            profile = {};
        } else {
            pixels = image.convertToFormat(QImage::Format_Grayscale8);
        }
    }
    QBuffer encoded;
    encoded.open(QIODevice::WriteOnly);
    QImageWriter writer(&encoded, jpeg ? QByteArrayLiteral("jpeg") : QByteArrayLiteral("png"));
    if (!writer.write(pixels)) {
        return false;
    }
    QByteArray bytes = encoded.data();
    if (!profile.isEmpty()) {
        bytes = jpeg ? KanvoIccEmbedding::intoJpeg(bytes, profile)
                     : KanvoIccEmbedding::intoPng(bytes, profile);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        return false;
    }
    return file.commit();
}
