#include "ReferenceDecoder.h"

#include "CmykJpeg.h"
#include "PnmReader.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <spng.h>
#include <utility>

namespace {

// A reference decoder that has not finished in this time has hung.
constexpr int toolTimeoutMs = 60'000;

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// netpbm 11's pngtopam writes the pixels of a truecolour image's tRNS colour
// key opaque, where libpng makes them transparent: the key is applied here.
std::optional<PnmReader::ColourKey> truecolourKey(const QString& path) {
    const QByteArray file = contents(path);
    spng_ctx* context = spng_ctx_new(0);
    spng_set_crc_action(context, SPNG_CRC_ERROR, SPNG_CRC_DISCARD);
    spng_set_png_buffer(context, file.constData(), size_t(file.size()));
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

ReferenceDecoder::ReferenceDecoder(QString workFolder) : workFolder_(std::move(workFolder)) {}

QStringList ReferenceDecoder::missingPrograms() {
    const std::pair<const char*, const char*> programs[] = {
        {"djpeg", "libjpeg-turbo-progs"}, {"pngtopam", "netpbm"}, {"pamtopnm", "netpbm"}};
    QStringList missing;
    for (const auto& [program, package] : programs) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            missing << QStringLiteral("%1 (package %2)").arg(program, package);
        }
    }
    return missing;
}

ReferenceImage ReferenceDecoder::decode(const QString& path, CorpusFormat format) {
    switch (format) {
    case CorpusFormat::Jpeg: {
        // djpeg's defaults: accurate integer IDCT, fancy upsampling; CMYK
        // written as RGB by (1 - C)(1 - K) and so on.
        ReferenceImage reference = runTool(path, QStringLiteral("djpeg"), {QStringLiteral("-pnm")});
        if (!reference.pixels.isNull()) {
            reference.cmyk = CmykJpeg::samples(path);
        }
        return reference;
    }
    case CorpusFormat::Png:
        // With -alphapam the samples come as stored: no gamma, no sBIT
        // scaling, transparency (tRNS included) as an alpha channel.
        return runTool(path, QStringLiteral("pngtopam"), {QStringLiteral("-alphapam")},
                       truecolourKey(path));
    case CorpusFormat::Pnm:
        return runTool(path, QStringLiteral("pamtopnm"), {});
    case CorpusFormat::Unknown:
        break;
    }
    return {{}, {}, {}, QStringLiteral("no reference decoder for this format")};
}

ReferenceDecoder::Produced ReferenceDecoder::produce(const QString& path, const QString& program,
                                                     const QStringList& arguments) {
    Produced produced;
    produced.file = QDir(workFolder_).filePath(QStringLiteral("%1.pnm").arg(produced_.size()));
    QProcess tool;
    tool.setStandardOutputFile(produced.file);
    tool.start(program, QStringList(arguments) << path);
    if (!tool.waitForFinished(toolTimeoutMs)) {
        tool.kill();
        tool.waitForFinished();
        produced.message = program + QStringLiteral(" did not finish");
        return produced;
    }
    produced.message = QString::fromLocal8Bit(tool.readAllStandardError()).section('\n', 0, 0);
    return produced;
}

ReferenceImage ReferenceDecoder::runTool(const QString& path, const QString& program,
                                         const QStringList& arguments,
                                         std::optional<PnmReader::ColourKey> transparent) {
    auto found = produced_.constFind(path);
    if (found == produced_.cend()) {
        found = produced_.insert(path, produce(path, program, arguments));
    }
    ReferenceImage reference;
    reference.decoder = program;
    // Exit statuses are not trusted either way: djpeg reports a warning with
    // 2, and an error in trailing markers with 1 after writing the whole
    // image. A complete image is the reference.
    reference.pixels = PnmReader::read(contents(found->file), transparent);
    if (reference.pixels.isNull()) {
        reference.failure = found->message.isEmpty()
                                ? program + QStringLiteral(" wrote no complete image")
                                : found->message;
    }
    return reference;
}
