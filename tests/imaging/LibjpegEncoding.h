#pragma once

// JPEGs written by libjpeg's encoder, for the layouts Qt's writer cannot
// make (it writes 4:2:0 without restart markers).

#include <QByteArray>
#include <QImage>
#include <cstdio> // jpeglib.h uses FILE without including it
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

namespace kanvo::test {

// `image` as a baseline JPEG (quality 90) written by libjpeg, its chroma
// sampled `across` x `down` times more coarsely than luma, with a restart
// marker every `restartInterval` MCUs (0 for none): Qt's writer knows only
// 4:2:0 without markers. Pixels are read one by one, not converted by Qt,
// whose conversions run on its thread pool where ThreadSanitizer cannot
// follow them.
inline QByteArray libjpegEncoded(const QImage& image, int across, int down,
                                 int restartInterval = 0) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(image.width());
    info.image_height = JDIMENSION(image.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    info.comp_info[0].h_samp_factor = across;
    info.comp_info[0].v_samp_factor = down;
    info.restart_interval = unsigned(restartInterval);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> samples(size_t(image.width()) * 3);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, int(info.next_scanline));
            samples[size_t(x) * 3] = JSAMPLE(qRed(pixel));
            samples[size_t(x) * 3 + 1] = JSAMPLE(qGreen(pixel));
            samples[size_t(x) * 3 + 2] = JSAMPLE(qBlue(pixel));
        }
        JSAMPROW row = samples.data();
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    const QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

} // namespace kanvo::test
