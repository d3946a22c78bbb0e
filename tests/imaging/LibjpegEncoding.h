#pragma once

// JPEGs written by libjpeg's encoder, for the layouts Qt's writer cannot
// make (it writes 4:2:0 without restart markers).

#include <QByteArray>
#include <QImage>
#include <cstdio> // jpeglib.h uses FILE without including it
#include <cstdlib>
#include <jpeglib.h>

namespace kanvo::test {

// `image` as a baseline JPEG (quality 90) written by libjpeg, its chroma
// sampled `across` x `down` times more coarsely than luma, with a restart
// marker every `restartInterval` MCUs (0 for none): Qt's writer knows only
// 4:2:0 without markers.
inline QByteArray libjpegEncoded(const QImage& image, int across, int down,
                                 int restartInterval = 0) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(rgb.width());
    info.image_height = JDIMENSION(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    info.comp_info[0].h_samp_factor = across;
    info.comp_info[0].v_samp_factor = down;
    info.restart_interval = unsigned(restartInterval);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto* row = const_cast<JSAMPLE*>(rgb.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    const QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

} // namespace kanvo::test
