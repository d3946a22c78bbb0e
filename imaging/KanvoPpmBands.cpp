#include "imaging/KanvoPpmBands.h"

#include <algorithm>
#include <vector>

namespace {

// Qt's reader takes no larger side.
constexpr int largestSide = 32767;
constexpr int largestMaxval = 65535;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the header's numbers as Qt's reader does: white space and comment
// lines before each, one character after it taken as its end (a comment's
// whole line when that character starts one). -1 for anything else or a
// number above `largest`.
class HeaderReader {
public:
    explicit HeaderReader(const QByteArray& bytes) : bytes_(bytes) {}

    int number(int largest) {
        while (at_ < bytes_.size() && !isDigit(bytes_[at_])) {
            if (bytes_[at_] == '#') {
                skipLine();
            } else if (isSpace(bytes_[at_])) {
                ++at_;
            } else {
                return -1;
            }
        }
        int value = -1;
        for (; at_ < bytes_.size() && isDigit(bytes_[at_]); ++at_) {
            value = std::max(value, 0) * 10 + (bytes_[at_] - '0');
            if (value > largest) {
                return -1;
            }
        }
        if (at_ < bytes_.size()) {
            bytes_[at_] == '#' ? skipLine() : void(++at_);
        }
        return value;
    }

    qsizetype position() const { return at_; }
    void skip(qsizetype count) { at_ += count; }

private:
    void skipLine() {
        while (at_ < bytes_.size() && bytes_[at_] != '\n') {
            ++at_;
        }
        at_ = std::min(at_ + 1, bytes_.size());
    }

    const QByteArray& bytes_;
    qsizetype at_ = 0;
};

// Qt's rounding of 16 bits to 8.
inline uchar eightBits(unsigned sixteen) {
    return uchar((sixteen + 128 - ((sixteen + 128) >> 8)) >> 8);
}

} // namespace

KanvoPpmBands::KanvoPpmBands(std::unique_ptr<QIODevice> file, qint64 dataStart, int width,
                             int height, int maxval)
    : file_(std::move(file)), dataStart_(dataStart), width_(width), height_(height),
      maxval_(maxval), rowBytes_(qint64(width) * 3 * (maxval > 255 ? 2 : 1)) {}

std::unique_ptr<KanvoPpmBands> KanvoPpmBands::index(std::unique_ptr<QIODevice> file,
                                                    const RowHandler& eachRow) {
    const qint64 fileSize = file->size();
    const QByteArray head = file->seek(0) ? file->read(largestHeadBytes) : QByteArray();
    if (head.size() < 3 || head[0] != 'P' || head[1] != '6' || !isSpace(head[2])) {
        return nullptr;
    }
    HeaderReader header(head);
    header.skip(3);
    const int width = header.number(largestSide);
    const int height = header.number(largestSide);
    const int maxval = header.number(largestMaxval);
    // The header must end within what was read: a number cut off there
    // would be misread.
    const qint64 dataStart = header.position();
    if (width <= 0 || height <= 0 || maxval <= 0 || dataStart >= head.size()) {
        return nullptr;
    }
    // At most 32767 x 32767 x 6 bytes: no overflow in 64 bits.
    const qint64 rowBytes = qint64(width) * 3 * (maxval > 255 ? 2 : 1);
    if (dataStart + rowBytes * height > fileSize) {
        return nullptr;
    }
    std::unique_ptr<KanvoPpmBands> bands(
        new KanvoPpmBands(std::move(file), dataStart, width, height, maxval));
    // A few megabytes of rows read at a time.
    const int rowsPerRead = int(std::clamp<qint64>((qint64(4) << 20) / rowBytes, 1, height));
    std::vector<uchar> rows(size_t(rowsPerRead * rowBytes));
    std::vector<uchar> pixels(size_t(width) * 4);
    for (int y = 0; y < height; ++y) {
        const int inRead = y % rowsPerRead;
        if (inRead == 0 && !bands->readRows(y, std::min(rowsPerRead, height - y), rows.data())) {
            return nullptr;
        }
        if (!bands->toRgbx(rows.data() + inRead * rowBytes, 0, width, pixels.data())) {
            return nullptr;
        }
        eachRow(y, pixels.data());
    }
    return bands;
}

QImage KanvoPpmBands::region(QRect area, int reduction) const {
    if (reduction != 1 || area.isEmpty() || !QRect(0, 0, width_, height_).contains(area)) {
        return {};
    }
    QImage image(area.size(), QImage::Format_RGBX8888);
    if (image.isNull()) {
        return {};
    }
    // Of each row, only its part in the area is read.
    const int bytesPerSample = maxval_ > 255 ? 2 : 1;
    const qint64 length = qint64(area.width()) * 3 * bytesPerSample;
    std::vector<uchar> samples(static_cast<size_t>(length));
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const qint64 offset = dataStart_ + rowBytes_ * y + qint64(area.left()) * 3 * bytesPerSample;
        if (file_.read(offset, samples.data(), length) != length ||
            !toRgbx(samples.data(), 0, area.width(), image.scanLine(y - area.top()))) {
            return {};
        }
    }
    return image;
}

bool KanvoPpmBands::readRows(int first, int count, uchar* out) const {
    const qint64 length = rowBytes_ * count;
    return file_.read(dataStart_ + rowBytes_ * first, out, length) == length;
}

bool KanvoPpmBands::toRgbx(const uchar* row, int first, int count, uchar* out) const {
    if (maxval_ == 255) {
        const uchar* in = row + qsizetype(first) * 3;
        for (int i = 0; i < count; ++i) {
            out[4 * i] = in[3 * i];
            out[4 * i + 1] = in[3 * i + 1];
            out[4 * i + 2] = in[3 * i + 2];
            out[4 * i + 3] = 255;
        }
        return true;
    }
    const bool wide = maxval_ > 255;
    const unsigned maxval = unsigned(maxval_);
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            const qsizetype sample = (qsizetype(first) + i) * 3 + c;
            const unsigned value =
                wide ? unsigned(row[2 * sample] << 8 | row[2 * sample + 1]) : row[sample];
            if (value > maxval) {
                return false;
            }
            // Qt scales every maxval to 16 bits first, truncating.
            out[4 * i + c] = eightBits(value * 65535u / maxval);
        }
        out[4 * i + 3] = 255;
    }
    return true;
}
