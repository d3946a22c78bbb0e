#include "CmykJpeg.h"

#include "imaging/KanvoLibjpegReader.h"

#include <QFile>

namespace {

// Fills `samples` row by row, counting the rows that arrived in `rows` and
// the rows there are in `height`. A fatal error after the last row (in
// trailing markers) still leaves a whole image, as djpeg's output would.
void readInto(const QByteArray& file, QByteArray& samples, int& rows, int& height) {
    KanvoLibjpegReader reader;
    if (setjmp(reader.errors.exit) != 0) {
        jpeg_destroy_decompress(&reader.info);
        return;
    }
    reader.start({reinterpret_cast<const uchar*>(file.constData()), size_t(file.size())});
    jpeg_read_header(&reader.info, TRUE);
    if (reader.info.num_components != 4) {
        jpeg_destroy_decompress(&reader.info);
        return;
    }
    reader.info.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&reader.info);
    const qsizetype rowBytes = qsizetype(reader.info.output_width) * 4;
    height = int(reader.info.output_height);
    samples.resize(rowBytes * height);
    while (rows < height) {
        auto* row = reinterpret_cast<JSAMPLE*>(samples.data()) + rows * rowBytes;
        if (jpeg_read_scanlines(&reader.info, &row, 1) == 0) {
            break;
        }
        ++rows;
    }
    if (rows == height) {
        jpeg_finish_decompress(&reader.info);
    }
    jpeg_destroy_decompress(&reader.info);
}

} // namespace

QByteArray CmykJpeg::samples(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray samples;
    int rows = 0;
    int height = -1;
    readInto(file.readAll(), samples, rows, height);
    return rows == height ? samples : QByteArray();
}
