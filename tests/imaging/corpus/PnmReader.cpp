#include "PnmReader.h"

#include <QList>
#include <vector>

namespace {

struct Header {
    int width = 0;
    int height = 0;
    int channels = 0; // 1 grey, 2 grey and alpha, 3 RGB, 4 RGB and alpha
    int maxval = 0;
    qsizetype dataStart = 0;
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// P5 and P6: magic, width, height and maxval separated by white space, then
// exactly one white-space byte before the samples.
Header readPlainHeader(const QByteArray& file, int channels) {
    Header header;
    header.channels = channels;
    qsizetype at = 2;
    int* const fields[] = {&header.width, &header.height, &header.maxval};
    for (int* field : fields) {
        while (at < file.size() && isSpace(file[at])) {
            ++at;
        }
        const qsizetype start = at;
        while (at < file.size() && file[at] >= '0' && file[at] <= '9') {
            ++at;
        }
        *field = file.mid(start, at - start).toInt();
    }
    header.dataStart = at + 1;
    return header;
}

// P7: "KEY value" lines up to ENDHDR.
Header readPamHeader(const QByteArray& file) {
    Header header;
    const qsizetype end = file.indexOf("ENDHDR\n");
    if (end < 0) {
        return header;
    }
    for (const QByteArray& line : file.left(end).split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() < 2) {
            continue;
        }
        if (words[0] == "WIDTH") {
            header.width = words[1].toInt();
        } else if (words[0] == "HEIGHT") {
            header.height = words[1].toInt();
        } else if (words[0] == "DEPTH") {
            header.channels = words[1].toInt();
        } else if (words[0] == "MAXVAL") {
            header.maxval = words[1].toInt();
        }
    }
    header.dataStart = end + qsizetype(sizeof("ENDHDR\n")) - 1;
    return header;
}

Header readHeader(const QByteArray& file) {
    if (file.startsWith("P5")) {
        return readPlainHeader(file, 1);
    }
    if (file.startsWith("P6")) {
        return readPlainHeader(file, 3);
    }
    if (file.startsWith("P7")) {
        return readPamHeader(file);
    }
    return {};
}

} // namespace

QImage PnmReader::read(const QByteArray& file, std::optional<ColourKey> transparent) {
    const Header header = readHeader(file);
    if (header.width <= 0 || header.height <= 0 || header.channels < 1 || header.channels > 4 ||
        header.maxval < 1 || header.maxval > 65535) {
        return {};
    }
    const int bytesPerSample = header.maxval > 255 ? 2 : 1;
    const qsizetype samplesPerRow = qsizetype(header.width) * header.channels;
    if (file.size() - header.dataStart < samplesPerRow * bytesPerSample * header.height) {
        return {};
    }
    // Every sample value's 8-bit level, rounded.
    std::vector<int> levels(size_t(header.maxval) + 1);
    for (int value = 0; value <= header.maxval; ++value) {
        levels[size_t(value)] = (value * 255 + header.maxval / 2) / header.maxval;
    }
    QImage image(header.width, header.height, QImage::Format_ARGB32);
    const bool hasAlpha = header.channels == 2 || header.channels == 4;
    const bool grey = header.channels <= 2;
    for (int y = 0; y < header.height; ++y) {
        const auto* in = reinterpret_cast<const uchar*>(file.constData() + header.dataStart) +
                         qsizetype(y) * samplesPerRow * bytesPerSample;
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < header.width; ++x) {
            int samples[4] = {0, 0, 0, header.maxval};
            for (int c = 0; c < header.channels; ++c) {
                samples[c] = bytesPerSample == 2 ? (in[0] << 8) | in[1] : in[0];
                in += bytesPerSample;
                if (samples[c] > header.maxval) {
                    return {}; // netpbm refuses such a file too
                }
            }
            const bool keyed = transparent && samples[0] == (*transparent)[0] &&
                               samples[1] == (*transparent)[1] && samples[2] == (*transparent)[2];
            const int red = levels[size_t(samples[0])];
            const int green = grey ? red : levels[size_t(samples[1])];
            const int blue = grey ? red : levels[size_t(samples[2])];
            const int alpha = keyed      ? 0
                              : hasAlpha ? levels[size_t(samples[header.channels - 1])]
                                         : 255;
            row[x] = qRgba(red, green, blue, alpha);
        }
    }
    return image;
}
