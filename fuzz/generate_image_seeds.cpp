// Writes small, complete images for the decoder fuzz target to start from:
// JPEGs tall enough to be decoded in stripes, progressive and grey ones, and
// PNGs of the kinds the fast path and libspng each take.
#include <QDir>
#include <QImage>
#include <QImageWriter>

namespace {

QImage noisy(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int n = (x * 7919 + y * 104729) % 23;
            image.setPixel(
                x, y,
                qRgba((x * 4 + n) % 256, (y * 2 + n) % 256, (x + y) % 256, (x * 3 + y) % 256));
        }
    }
    return image;
}

bool write(const QImage& image, const QString& path, const char* format, bool progressive) {
    QImageWriter writer(path, format);
    writer.setQuality(85);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || !QDir().mkpath(QString::fromLocal8Bit(argv[1]))) {
        return 2;
    }
    const QDir corpus(QString::fromLocal8Bit(argv[1]));
    const QImage tall = noisy(24, 560);
    const QImage small = noisy(19, 13);
    const bool written = write(tall.convertToFormat(QImage::Format_RGB32),
                               corpus.filePath("striped.jpg"), "jpg", false) &&
                         write(small.convertToFormat(QImage::Format_RGB32),
                               corpus.filePath("progressive.jpg"), "jpg", true) &&
                         write(small.convertToFormat(QImage::Format_Grayscale8),
                               corpus.filePath("grey.jpg"), "jpg", false) &&
                         write(small.convertToFormat(QImage::Format_RGB32),
                               corpus.filePath("rgb.png"), "png", false) &&
                         write(small, corpus.filePath("rgba.png"), "png", false) &&
                         write(small.convertToFormat(QImage::Format_Indexed8),
                               corpus.filePath("palette.png"), "png", false);
    return written ? 0 : 1;
}
