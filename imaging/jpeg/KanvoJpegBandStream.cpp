#include "imaging/jpeg/KanvoJpegBandStream.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

using KanvoJpegBandIndex::Code;
using KanvoJpegBandIndex::Index;
using KanvoJpegBandStream::Band;

// Bits into coded data: whole bytes out, a zero stuffed after each 0xFF.
class BitWriter {
public:
    explicit BitWriter(QByteArray& out) : out_(out) {}

    // The low `length` bits of `bits` (length 0 to 16).
    void put(std::uint32_t bits, int length) {
        buffer_ = buffer_ << length | (bits & ((1U << length) - 1));
        count_ += length;
        while (count_ >= 8) {
            count_ -= 8;
            const auto byte = char(buffer_ >> count_);
            out_.append(byte);
            if (byte == char(0xFF)) {
                out_.append('\0');
            }
        }
    }

    // The last byte filled with 1-bits, as an encoder pads.
    void pad() {
        if (count_ > 0) {
            put(0xFF, 8 - count_);
        }
    }

private:
    QByteArray& out_;
    std::uint64_t buffer_ = 0;
    int count_ = 0; // bits in buffer_ not yet written
};

// A DC difference's category: the bits its magnitude takes.
int categoryOf(int difference) {
    int category = 0;
    for (int magnitude = std::abs(difference); magnitude > 0; magnitude >>= 1) {
        ++category;
    }
    return category;
}

using Predictors = std::array<std::int16_t, 4>;

// `count` MCUs of flat blocks: every component's first DC difference brings
// its predictor from `from` to `to`, every other is zero, every block ends
// at once. False when a category has no code.
bool writeFlatMcus(BitWriter& writer, const Index& index, int count, const Predictors& from,
                   const Predictors& to) {
    for (int mcu = 0; mcu < count; ++mcu) {
        for (size_t c = 0; c < index.components.size(); ++c) {
            const KanvoJpegBandIndex::Component& component = index.components[c];
            for (int block = 0; block < component.blocks; ++block) {
                const int difference = mcu == 0 && block == 0 ? to[c] - from[c] : 0;
                const int category = categoryOf(difference);
                if (category >= int(component.dcCodes.size())) {
                    return false;
                }
                const Code code = component.dcCodes[size_t(category)];
                if (code.length == 0) {
                    return false;
                }
                writer.put(code.bits, code.length);
                // A negative difference is written as its value less one.
                writer.put(std::uint32_t(difference < 0 ? difference - 1 : difference), category);
                writer.put(component.endOfBlock.bits, component.endOfBlock.length);
            }
        }
    }
    return true;
}

// The file's coded bits [first, end) (positions as the index counts them),
// their stuffed zeros taken out, written on.
void copyBits(std::span<const uchar> file, qint64 first, qint64 end, BitWriter& writer) {
    const auto size = qint64(file.size());
    const qint64 last = end / 8;
    int from = int(first % 8);
    for (qint64 at = first / 8; at <= last && at < size;) {
        const uchar byte = file[size_t(at)];
        const int to = at == last ? int(end % 8) : 8;
        if (to > from) {
            writer.put(std::uint32_t(byte >> (8 - to)), to - from);
        }
        from = 0;
        at += byte == 0xFF ? 2 : 1; // the stuffed zero after it
    }
}

// The file's coded bytes from `first` (just after a restart marker or at
// the data's start) to the byte holding bit `end`, without a marker that
// would end them; the markers among them renumbered from 0 on, as a decoder
// counts them from the band's start.
void copyRestartBytes(std::span<const uchar> file, qint64 first, qint64 end, qint64 markersBefore,
                      QByteArray& out) {
    const auto size = qint64(file.size());
    qint64 stop = std::min(size, (end + 7) / 8);
    if (stop < size && stop > first && file[size_t(stop - 1)] == 0xFF) {
        ++stop; // the stuffed zero of a byte cut in two
    }
    if (stop - first >= 2 && file[size_t(stop - 2)] == 0xFF && file[size_t(stop - 1)] >= 0xD0 &&
        file[size_t(stop - 1)] <= 0xD7) {
        stop -= 2;
    }
    for (qint64 at = first; at < stop;) {
        const auto* found =
            static_cast<const uchar*>(std::memchr(file.data() + at, 0xFF, size_t(stop - at)));
        const qint64 plain = found == nullptr ? stop : qint64(found - file.data());
        out.append(reinterpret_cast<const char*>(file.data() + at), qsizetype(plain - at));
        if (plain + 1 >= stop) {
            out.append(reinterpret_cast<const char*>(file.data() + plain), qsizetype(stop - plain));
            break;
        }
        uchar next = file[size_t(plain) + 1];
        if (next >= 0xD0 && next <= 0xD7) {
            next = uchar(0xD0 + ((next - 0xD0 - markersBefore) & 7));
        }
        out.append(char(0xFF));
        out.append(char(next));
        at = plain + 2;
    }
}

// Whether `band`'s columns are cut from its rows, and where they may be.
bool cut(const Index& index, Band band) {
    return band.firstColumn > 0 || band.endColumn < index.mcusAcross;
}

bool validColumns(const Index& index, Band band) {
    const auto onStep = [](int column) {
        return column % Index::columnStep == 0;
    };
    return band.firstColumn >= 0 && band.firstColumn < band.endColumn &&
           band.endColumn <= index.mcusAcross && onStep(band.firstColumn) &&
           (onStep(band.endColumn) || band.endColumn == index.mcusAcross) &&
           (!cut(index, band) || index.hasColumns());
}

// The rows' bits between the band's columns, each with its priming MCU.
bool writeCutRows(std::span<const uchar> file, const Index& index, Band band, bool primingLeft,
                  Predictors current, BitWriter& writer) {
    for (int row = band.firstRow; row < band.endRow; ++row) {
        const KanvoJpegBandIndex::Checkpoint& start = index.at(row, band.firstColumn);
        const KanvoJpegBandIndex::Checkpoint& end = index.at(row, band.endColumn);
        if (primingLeft) {
            if (!writeFlatMcus(writer, index, 1, current, start.predictors)) {
                return false;
            }
            copyBits(file, start.bit, end.bit, writer);
            current = end.predictors;
            continue;
        }
        copyBits(file, start.bit, end.bit, writer);
        const Predictors& next =
            row + 1 < band.endRow ? index.at(row + 1, band.firstColumn).predictors : end.predictors;
        if (!writeFlatMcus(writer, index, 1, end.predictors, next)) {
            return false;
        }
    }
    return true;
}

} // namespace

KanvoJpegBandStream::Lead KanvoJpegBandStream::lead(const Index& index, Band band) {
    band.endColumn = std::min(band.endColumn, index.mcusAcross);
    const bool primingLeft = cut(index, band) && band.firstColumn > 0;
    return {band.firstRow > 0 && index.restartInterval == 0 && !primingLeft ? 1 : 0,
            primingLeft ? 1 : 0};
}

QByteArray KanvoJpegBandStream::build(std::span<const uchar> file, const Index& index, Band band) {
    band.endColumn = std::min(band.endColumn, index.mcusAcross);
    if (band.firstRow < 0 || band.firstRow >= band.endRow || band.endRow > index.mcusDown() ||
        !validColumns(index, band) || index.dataOffset > qsizetype(file.size())) {
        return {};
    }
    const KanvoJpegBandIndex::Checkpoint& start = index.rows[size_t(band.firstRow)];
    const qint64 end = index.rows[size_t(band.endRow)].bit;
    const Lead primers = lead(index, band);
    const bool cutColumns = cut(index, band);
    const qint64 height =
        primers.rows * index.mcuHeight +
        std::min<qint64>(qint64(band.endRow) * index.mcuHeight, index.imageHeight) -
        qint64(band.firstRow) * index.mcuHeight;
    // A cut band's own columns and its priming column.
    const qint64 width =
        cutColumns ? std::min<qint64>(qint64(band.endColumn) * index.mcuWidth, index.imageWidth) -
                         qint64(band.firstColumn) * index.mcuWidth + index.mcuWidth
                   : index.imageWidth;
    if (height > 0xFFFF || width > 0xFFFF || index.frameHeight + 4 > index.dataOffset) {
        return {};
    }
    QByteArray stream(reinterpret_cast<const char*>(file.data()), index.dataOffset);
    stream.reserve(index.dataOffset + qsizetype((end - start.bit) / 8 * 101 / 100) + 4096);
    stream[index.frameHeight] = char(height >> 8);
    stream[index.frameHeight + 1] = char(height & 0xFF);
    stream[index.frameHeight + 2] = char(width >> 8);
    stream[index.frameHeight + 3] = char(width & 0xFF);
    if (cutColumns) {
        BitWriter writer(stream);
        const Predictors zero{};
        const Predictors& first = index.at(band.firstRow, band.firstColumn).predictors;
        const int mcusPerRow = band.endColumn - band.firstColumn + 1;
        if ((primers.rows > 0 && !writeFlatMcus(writer, index, mcusPerRow, zero, first)) ||
            !writeCutRows(file, index, band, primers.columns > 0, primers.rows > 0 ? first : zero,
                          writer)) {
            return {};
        }
        writer.pad();
    } else if (index.restartInterval > 0) {
        if (start.bit % 8 != 0) {
            return {};
        }
        const qint64 markersBefore =
            qint64(band.firstRow) * index.mcusAcross / index.restartInterval;
        copyRestartBytes(file, start.bit / 8, end, markersBefore, stream);
    } else {
        BitWriter writer(stream);
        if (primers.rows > 0 &&
            !writeFlatMcus(writer, index, index.mcusAcross, {}, start.predictors)) {
            return {};
        }
        copyBits(file, start.bit, end, writer);
        writer.pad();
    }
    stream.append(char(0xFF));
    stream.append(char(0xD9));
    return stream;
}
