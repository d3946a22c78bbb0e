#pragma once

// JPEGs written by libjpeg's encoder, for the layouts Qt's writer cannot
// make (it writes 4:2:0 without restart markers, in YCbCr only).

#include <QByteArray>
#include <QImage>
#include <cstdio> // jpeglib.h uses FILE without including it
#include <cstdlib>
#include <jpeglib.h>
#include <utility>
#include <vector>

namespace kanvo::test {

// How libjpegEncoded() writes a JPEG: its first component sampled `across`
// x `down` times more finely than the others, a restart marker every
// `restartInterval` MCUs (0 for none), in `space` (JCS_GRAYSCALE, JCS_YCbCr,
// JCS_CMYK or JCS_YCCK), progressive or baseline, with the standard Huffman
// tables or tables made for the image (as most cameras and editors write).
struct LibjpegLayout {
    int across = 2;
    int down = 2;
    int restartInterval = 0;
    J_COLOR_SPACE space = JCS_YCbCr;
    bool progressive = false;
    bool optimizedTables = false;
};

// Every chroma layout, restart interval and colour space the decoders take
// in their own ways, by name.
inline const std::pair<const char*, LibjpegLayout> libjpegLayouts[] = {
    {"4:2:0", {2, 2}},
    {"4:2:2", {2, 1}},
    {"4:4:4", {1, 1}},
    {"4:4:0", {1, 2}},
    {"4:1:0", {4, 2}},
    {"luma 2x4", {2, 4}},
    {"grey", {1, 1, 0, JCS_GRAYSCALE}},
    {"progressive 4:2:0", {2, 2, 0, JCS_YCbCr, true}},
    {"progressive grey", {1, 1, 0, JCS_GRAYSCALE, true}},
    {"restart every MCU", {2, 2, 1}},
    {"restart every 3 MCUs", {2, 2, 3}},
    {"restart every 7 MCUs, 4:2:2", {2, 1, 7}},
    {"restart every 2 rows", {2, 2, 26}},
    {"CMYK", {1, 1, 0, JCS_CMYK}},
    {"YCCK 4:2:0", {2, 2, 0, JCS_YCCK}},
};

// `image` as a JPEG (quality 90) written by libjpeg in `layout`; Qt's
// writer knows only baseline 4:2:0 without markers. CMYK ink is made from
// the colour channels. Pixels are read one by one, not converted by Qt,
// whose conversions run on its thread pool where ThreadSanitizer cannot
// follow them.
inline QByteArray libjpegEncoded(const QImage& image, const LibjpegLayout& layout) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    const bool grey = layout.space == JCS_GRAYSCALE;
    const bool cmyk = layout.space == JCS_CMYK || layout.space == JCS_YCCK;
    const int components = grey ? 1 : cmyk ? 4 : 3;
    info.image_width = JDIMENSION(image.width());
    info.image_height = JDIMENSION(image.height());
    info.input_components = components;
    info.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, layout.space);
    jpeg_set_quality(&info, 90, TRUE);
    info.comp_info[0].h_samp_factor = grey ? 1 : layout.across;
    info.comp_info[0].v_samp_factor = grey ? 1 : layout.down;
    info.restart_interval = unsigned(layout.restartInterval);
    info.optimize_coding = layout.optimizedTables ? TRUE : FALSE;
    if (layout.progressive) {
        jpeg_simple_progression(&info);
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> samples(size_t(image.width()) * size_t(components));
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, int(info.next_scanline));
            const int channels[4] = {qRed(pixel), qGreen(pixel), qBlue(pixel),
                                     (qRed(pixel) + qBlue(pixel)) / 2};
            for (int c = 0; c < components; ++c) {
                samples[size_t(x * components + c)] = JSAMPLE(grey ? qGray(pixel) : channels[c]);
            }
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
