#include "imaging/KanvoTiledOpen.h"

#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoImageFile.h"
#include "imaging/KanvoOverviewBuilder.h"
#include "imaging/KanvoPngBands.h"
#include "imaging/KanvoPngDecoder.h"
#include "imaging/KanvoPpmBands.h"
#include "imaging/KanvoReduction.h"
#include "imaging/KanvoTiledSource.h"
#include "imaging/jpeg/KanvoJpegBands.h"
#include "imaging/jpeg/KanvoJpegDecoder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <chrono>

namespace {

constexpr int overviewReduction = KanvoTiledSource::overviewReduction;
// How often an overview made row by row is shown as it arrives: often enough
// to watch it come, seldom enough that showing it costs the pass little.
constexpr std::chrono::milliseconds arrivingInterval{250};

std::span<const uchar> spanOf(const QByteArray& bytes) {
    return {reinterpret_cast<const uchar*>(bytes.constData()), size_t(bytes.size())};
}

// What the tiles may take: a quarter of the budget, and no more than a dozen
// large screens' worth at full size. Above that, panning far and back saves
// little decoding, and a JPEG's own bytes, held beside the tiles, are
// already most of what a tiled image takes.
qint64 tileBudget() {
    return std::min(KanvoAllocation::budgetBytes() / 4, qint64(128) << 20);
}

// The overview with its halvings, at four bytes a pixel.
qint64 overviewBytes(QSize upright) {
    const QSize overview = reducedSize(upright, overviewReduction);
    return qint64(overview.width()) * overview.height() * 4 * 4 / 3;
}

// Without an index of its rows (a progressive file) every tile is decoded by
// libjpeg from the file's start, holding each of the image's coefficients,
// two bytes a sample and a sample and a half a pixel in the usual 4:2:0, on
// every tile thread at once: such an image is held in tiles only where that
// fits the budget.
bool coefficientsFit(QSize stored) {
    const qint64 perDecode = qint64(stored.width()) * stored.height() * 3;
    return perDecode <= KanvoAllocation::budgetBytes() / QThread::idealThreadCount();
}

KanvoImage tiledJpeg(const KanvoImageFile& file,
                     const KanvoTiledOpen::OverviewHandler& overviewReady) {
    const std::span<const uchar> bytes = spanOf(file.bytes());
    const KanvoJpegDecoder::Header header = KanvoJpegDecoder::readHeader(bytes);
    KanvoDecodedPixels overview =
        KanvoJpegDecoder::decode(bytes, KanvoAllocation::largestImageBytes(), overviewReduction);
    if (overview.image.isNull()) {
        return {};
    }
    if (overviewReady) {
        overviewReady(overview, true);
    }
    std::unique_ptr<KanvoJpegBands> bands = KanvoJpegBands::index(file.bytes());
    if (!bands || (!bands->randomAccess() && !coefficientsFit(header.storedSize))) {
        return {};
    }
    auto tiles =
        std::make_shared<KanvoTiledSource>(std::move(bands), header.storedSize, header.orientation,
                                           overview.iccProfile, tileBudget(), file.bytes().size());
    return KanvoImage::tiled(std::move(overview), file.uprightSize(), std::move(tiles));
}

// The file, open for reading, for bands that read it from disk; null when it
// cannot be opened.
std::unique_ptr<QFile> opened(const KanvoImageFile& file) {
    auto onDisk = std::make_unique<QFile>(file.path());
    return onDisk->open(QIODevice::ReadOnly) ? std::move(onDisk) : nullptr;
}

// A PNG's or PPM's overview, halved from the rows of the pass that indexes
// them and handed out as it arrives.
template <typename Index>
KanvoImage tiledByRows(const KanvoImageFile& file, QImage::Format format,
                       const KanvoIccProfile& profile, Index index,
                       const KanvoTiledOpen::OverviewHandler& overviewReady) {
    const QSize size = file.uprightSize();
    KanvoOverviewBuilder overview(size.width(), size.height(), format);
    bool complete = true;
    QElapsedTimer sinceShown;
    sinceShown.start();
    std::unique_ptr<KanvoBandDecoder> bands = index(file, [&](int, const uchar* row) {
        complete = complete && overview.addRow(row);
        if (complete && overviewReady && sinceShown.elapsed() >= arrivingInterval.count()) {
            if (QImage sofar = overview.sofar(); !sofar.isNull()) {
                overviewReady({std::move(sofar), profile}, false);
                sinceShown.restart();
            }
        }
    });
    QImage pixels = overview.finish();
    if (!bands || !complete || pixels.isNull()) {
        return {};
    }
    auto tiles = std::make_shared<KanvoTiledSource>(std::move(bands), size, 1, profile,
                                                    tileBudget(), file.bytes().size());
    return KanvoImage::tiled({std::move(pixels), profile}, size, std::move(tiles));
}

} // namespace

bool KanvoTiledOpen::needsTiles(const KanvoImageFile& file) {
    const QSize size = file.uprightSize();
    return size.isValid() && !file.isDecompressionBomb() &&
           !KanvoAllocation::fits(size.width(), size.height(),
                                  KanvoAllocation::largestImageBytes());
}

qint64 KanvoTiledOpen::expectedBytes(const KanvoImageFile& file) {
    return file.bytes().size() + overviewBytes(file.uprightSize()) + tileBudget();
}

KanvoImage KanvoTiledOpen::open(const KanvoImageFile& file, const OverviewHandler& overviewReady) {
    if (overviewBytes(file.uprightSize()) > KanvoAllocation::largestImageBytes()) {
        return {};
    }
    switch (file.format()) {
    case KanvoImageFormat::Jpeg:
        return tiledJpeg(file, overviewReady);
    case KanvoImageFormat::Png: {
        const KanvoPngDecoder::Description png = KanvoPngDecoder::describe(spanOf(file.bytes()));
        return png.size.isValid()
                   ? tiledByRows(
                         file, png.format, png.iccProfile,
                         [](const KanvoImageFile& png, const KanvoPngBands::RowHandler& eachRow) {
                             std::unique_ptr<QFile> onDisk = opened(png);
                             return onDisk ? KanvoPngBands::index(std::move(onDisk), eachRow)
                                           : nullptr;
                         },
                         overviewReady)
                   : KanvoImage();
    }
    case KanvoImageFormat::Ppm:
        // A PPM has no alpha, nor a profile.
        return tiledByRows(
            file, QImage::Format_RGBX8888, {},
            [](const KanvoImageFile& ppm, const KanvoPpmBands::RowHandler& eachRow) {
                std::unique_ptr<QFile> onDisk = opened(ppm);
                return onDisk ? KanvoPpmBands::index(std::move(onDisk), eachRow) : nullptr;
            },
            overviewReady);
    case KanvoImageFormat::Unknown:
        break;
    }
    return {};
}
