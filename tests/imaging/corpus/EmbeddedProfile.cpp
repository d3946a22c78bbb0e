#include "EmbeddedProfile.h"

#include "imaging/KanvoLibjpegReader.h"

#include <QFile>
#include <cstdlib>
#include <spng.h>

namespace {

// Writes the profile into `profile`; libjpeg-turbo checks the segments'
// sequence numbers and counts and gives nothing when they disagree.
void readJpegProfile(const QByteArray& file, QByteArray& profile) {
    KanvoLibjpegReader reader;
    if (setjmp(reader.errors.exit) != 0) {
        jpeg_destroy_decompress(&reader.info);
        return;
    }
    reader.start({reinterpret_cast<const uchar*>(file.constData()), size_t(file.size())});
    jpeg_save_markers(&reader.info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&reader.info, TRUE);
    JOCTET* bytes = nullptr;
    unsigned int length = 0;
    if (jpeg_read_icc_profile(&reader.info, &bytes, &length)) {
        profile = QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(length));
        std::free(bytes);
    }
    jpeg_destroy_decompress(&reader.info);
}

QByteArray pngProfile(const QByteArray& file) {
    spng_ctx* context = spng_ctx_new(0);
    spng_set_crc_action(context, SPNG_CRC_ERROR, SPNG_CRC_DISCARD);
    spng_set_png_buffer(context, file.constData(), size_t(file.size()));
    spng_iccp iccp{};
    QByteArray profile;
    if (spng_get_iccp(context, &iccp) == 0) {
        profile = QByteArray(iccp.profile, qsizetype(iccp.profile_len));
    }
    spng_ctx_free(context);
    return profile;
}

} // namespace

QByteArray EmbeddedProfile::of(const QString& path, CorpusFormat format) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.readAll();
    QByteArray profile;
    if (format == CorpusFormat::Jpeg) {
        readJpegProfile(bytes, profile);
    } else if (format == CorpusFormat::Png) {
        profile = pngProfile(bytes);
    }
    return profile;
}
