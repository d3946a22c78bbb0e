#include "ReferenceDecoder.h"

#include "PnmReader.h"
#include "imaging/jpeg/KanvoLibjpegReader.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <cstdlib>
#include <spng.h>

namespace {

// A reference decoder that has not finished in this time has hung.
constexpr int toolTimeoutMs = 60'000;

// The profile as libjpeg-turbo reassembles it from every APP2 ICC_PROFILE
// segment (nothing when their numbers and counts disagree), and a CMYK or
// YCCK file's samples with djpeg's settings (accurate integer IDCT, fancy
// upsampling), which djpeg writes only as RGB. The samples are inverted CMYK
// (255 is no ink), with or without an APP14 marker, as djpeg, Qt and
// browsers take them. A fatal error after the last row (in trailing markers)
// still leaves a whole image, as djpeg's output would.
void readJpeg(const QByteArray& file, ReferenceImage& reference) {
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
        reference.profile = QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(length));
        std::free(bytes);
    }
    if (reader.info.num_components == 4) {
        reader.info.out_color_space = JCS_CMYK;
        jpeg_start_decompress(&reader.info);
        const qsizetype rowBytes = qsizetype(reader.info.output_width) * 4;
        while (reader.info.output_scanline < reader.info.output_height) {
            reference.cmyk.resize(reference.cmyk.size() + rowBytes);
            JSAMPROW row = reinterpret_cast<JSAMPLE*>(reference.cmyk.end() - rowBytes);
            if (jpeg_read_scanlines(&reader.info, &row, 1) == 0) {
                break;
            }
        }
        if (reader.info.output_scanline == reader.info.output_height) {
            jpeg_finish_decompress(&reader.info);
        }
    }
    jpeg_destroy_decompress(&reader.info);
}

// The profile as libspng inflates it from iCCP (like libpng, it drops an
// ancillary chunk whose CRC is wrong), and a truecolour image's tRNS colour
// key: netpbm 11's pngtopam writes those pixels opaque where libpng makes
// them transparent, so the key is applied here.
std::optional<PnmReader::ColourKey> readPng(const QByteArray& file, QByteArray& profile) {
    spng_ctx* context = spng_ctx_new(0);
    spng_set_crc_action(context, SPNG_CRC_ERROR, SPNG_CRC_DISCARD);
    spng_set_png_buffer(context, file.constData(), size_t(file.size()));
    spng_iccp iccp{};
    if (spng_get_iccp(context, &iccp) == 0) {
        profile = QByteArray(iccp.profile, qsizetype(iccp.profile_len));
    }
    spng_ihdr header{};
    spng_trns transparency{};
    std::optional<PnmReader::ColourKey> key;
    if (spng_get_ihdr(context, &header) == 0 && header.color_type == SPNG_COLOR_TYPE_TRUECOLOR &&
        spng_get_trns(context, &transparency) == 0) {
        key = PnmReader::ColourKey{transparency.red, transparency.green, transparency.blue};
    }
    spng_ctx_free(context);
    return key;
}

} // namespace

QStringList ReferenceDecoder::missingPrograms() {
    QStringList missing;
    for (const auto& [program, package] : {std::pair{"djpeg", "libjpeg-turbo-progs"},
                                           {"pngtopam", "netpbm"},
                                           {"pamtopnm", "netpbm"}}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            missing << QStringLiteral("%1 (package %2)").arg(program, package);
        }
    }
    return missing;
}

ReferenceImage ReferenceDecoder::decode(const QString& path, CorpusFormat format) {
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    ReferenceImage reference;
    QStringList arguments;
    std::optional<PnmReader::ColourKey> key;
    switch (format) {
    case CorpusFormat::Jpeg:
        // djpeg's defaults: accurate integer IDCT, fancy upsampling; CMYK
        // written as RGB by (1 - C)(1 - K) and so on.
        reference.decoder = QStringLiteral("djpeg");
        arguments << QStringLiteral("-pnm");
        readJpeg(bytes, reference);
        break;
    case CorpusFormat::Png:
        // With -alphapam the samples come as stored: no gamma, no sBIT
        // scaling, transparency (tRNS included) as an alpha channel.
        reference.decoder = QStringLiteral("pngtopam");
        arguments << QStringLiteral("-alphapam");
        key = readPng(bytes, reference.profile);
        break;
    case CorpusFormat::Pnm:
        reference.decoder = QStringLiteral("pamtopnm");
        break;
    case CorpusFormat::Unknown:
        reference.failure = QStringLiteral("no reference decoder for this format");
        return reference;
    }
    QProcess tool;
    tool.start(reference.decoder, arguments << path);
    if (!tool.waitForFinished(toolTimeoutMs)) {
        tool.kill();
        tool.waitForFinished();
        reference.failure = reference.decoder + QStringLiteral(" did not finish");
        return reference;
    }
    // Exit statuses are not trusted either way: djpeg reports a warning with
    // 2, and an error in trailing markers with 1 after writing the whole
    // image. A complete image is the reference.
    reference.pixels = PnmReader::read(tool.readAllStandardOutput(), key);
    if (reference.pixels.isNull()) {
        const QString message = QString::fromLocal8Bit(tool.readAllStandardError());
        reference.failure = message.isEmpty() ? reference.decoder + " wrote no complete image"
                                              : message.section('\n', 0, 0);
    }
    if (reference.cmyk.size() !=
        qsizetype(reference.pixels.width()) * reference.pixels.height() * 4) {
        reference.cmyk.clear(); // not the whole image
    }
    return reference;
}
