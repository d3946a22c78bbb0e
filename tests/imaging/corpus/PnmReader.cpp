#include "PnmReader.h"

#include <QRegularExpression>

namespace {

struct Header {
    int width = 0;
    int height = 0;
    int channels = 0; // 1 grey, 2 grey and alpha, 3 RGB, 4 RGB and alpha
    int maxval = 0;
    qsizetype dataStart = 0;
};

// P5 and P6: width, height and maxval, then one white-space byte. P7:
// "KEY value" lines up to ENDHDR.
Header readHeader(const QByteArray& file) {
    static const QRegularExpression plain(
        QStringLiteral("^P([56])\\s+(\\d+)\\s+(\\d+)\\s+(\\d+)\\s"));
    static const QRegularExpression pam(QStringLiteral("^P7\\n(.*?\\n)ENDHDR\\n"),
                                        QRegularExpression::DotMatchesEverythingOption);
    const QString start = QString::fromLatin1(file.left(512));
    if (const QRegularExpressionMatch match = plain.match(start); match.hasMatch()) {
        return {match.captured(2).toInt(), match.captured(3).toInt(),
                match.captured(1) == "5" ? 1 : 3, match.captured(4).toInt(), match.capturedEnd()};
    }
    const QRegularExpressionMatch match = pam.match(start);
    const auto field = [&](const char* key) {
        const QRegularExpression line(QStringLiteral("\\b%1 (\\d+)\\n").arg(key));
        return line.match(match.captured(1)).captured(1).toInt();
    };
    return match.hasMatch() ? Header{field("WIDTH"), field("HEIGHT"), field("DEPTH"),
                                     field("MAXVAL"), match.capturedEnd()}
                            : Header{};
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
    const auto level = [maxval = header.maxval](int value) {
        return (value * 255 + maxval / 2) / maxval; // rounded
    };
    QImage image(header.width, header.height, QImage::Format_ARGB32);
    const bool hasAlpha = header.channels == 2 || header.channels == 4;
    const bool grey = header.channels <= 2;
    const auto* in = reinterpret_cast<const uchar*>(file.constData() + header.dataStart);
    for (int y = 0; y < header.height; ++y) {
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
            const int red = level(samples[0]);
            const int green = grey ? red : level(samples[1]);
            const int blue = grey ? red : level(samples[2]);
            const int alpha = keyed ? 0 : hasAlpha ? level(samples[header.channels - 1]) : 255;
            row[x] = qRgba(red, green, blue, alpha);
        }
    }
    return image;
}
