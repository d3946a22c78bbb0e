#include "imaging/jpeg/KanvoJpegCrop.h"

#include "imaging/jpeg/KanvoJpegColour.h"
#include "imaging/jpeg/KanvoLibjpegReader.h"

#include <algorithm>
#include <cstring>

namespace {

// libjpeg-turbo's cropping goes wrong (in the middle of the crop, not only
// at its edges) where a component's inverse DCT is scaled up to spare part
// of its upsampling but some upsampling remains: 4:1:0 or luma 2x4 decoded
// at 1/2 or 1/4. Those are decoded across the whole width.
bool cropsExactly(const jpeg_decompress_struct& info) {
    const int smallest = info.min_DCT_scaled_size;
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& component = info.comp_info[i];
        const bool upsampled = component.h_samp_factor * component.DCT_scaled_size !=
                                   info.max_h_samp_factor * smallest ||
                               component.v_samp_factor * component.DCT_scaled_size !=
                                   info.max_v_samp_factor * smallest;
        if (component.DCT_scaled_size != smallest && upsampled) {
            return false;
        }
    }
    return true;
}

// Decodes `area` into `target` (its top left pixel, `stride` bytes a row).
// Plain data only past setjmp: the jump out of libjpeg passes no destructor.
// Rows go through a buffer from libjpeg's own pool, freed with the decoder.
bool decodeInto(std::span<const uchar> file, QRect area, int reduction, bool cmyk, uchar* target,
                qsizetype stride, bool& warned) {
    KanvoLibjpegReader reader;
    jpeg_decompress_struct& info = reader.info;
    if (setjmp(reader.errors.exit) != 0) {
        warned = true;
        jpeg_destroy_decompress(&info);
        return false;
    }
    reader.start(file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = cmyk ? JCS_CMYK : KanvoJpegColour::rgb32ColorSpace;
    info.scale_num = 1;
    info.scale_denom = unsigned(reduction);
    jpeg_start_decompress(&info);
    const QRect output(0, 0, int(info.output_width), int(info.output_height));
    if (!output.contains(area) || info.output_components != 4) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    // An iMCU's size in output pixels, either way.
    const int columnWidth = std::max(1, info.max_h_samp_factor * DCTSIZE / reduction);
    const int rowHeight = std::max(1, info.max_v_samp_factor * DCTSIZE / reduction);
    const int left = std::max(0, area.left() - columnWidth);
    const int right = std::min(output.width(), area.right() + 1 + columnWidth);
    JDIMENSION cropLeft = 0;
    if ((left > 0 || right < output.width()) && cropsExactly(info)) {
        cropLeft = JDIMENSION(left);
        JDIMENSION cropWidth = JDIMENSION(right - left);
        jpeg_crop_scanline(&info, &cropLeft, &cropWidth); // widened to whole iMCU columns
    }
    const qint64 firstByte = (qint64(area.left()) - qint64(cropLeft)) * 4;
    const qint64 rowBytes = qint64(area.width()) * 4;
    if (firstByte < 0 || firstByte + rowBytes > qint64(info.output_width) * 4) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    const int skipped = std::max(0, area.top() - rowHeight) / rowHeight * rowHeight;
    if (skipped > 0) {
        jpeg_skip_scanlines(&info, JDIMENSION(skipped));
    }
    JSAMPARRAY rows = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                info.output_width * 4, JDIMENSION(rowHeight));
    while (int(info.output_scanline) <= area.bottom()) {
        const int first = int(info.output_scanline);
        const int wanted = std::min(rowHeight, area.bottom() + 1 - first);
        const int read = int(jpeg_read_scanlines(&info, rows, JDIMENSION(wanted)));
        if (read == 0) {
            break; // a memory source never suspends: this is the end of the data
        }
        for (int i = std::max(0, area.top() - first); i < read; ++i) {
            std::memcpy(target + qsizetype(first + i - area.top()) * stride, rows[i] + firstByte,
                        size_t(rowBytes));
        }
    }
    const bool complete = int(info.output_scanline) > area.bottom();
    warned = reader.errors.warned;
    jpeg_destroy_decompress(&info);
    return complete;
}

} // namespace

QImage KanvoJpegCrop::decode(std::span<const uchar> file, QRect area, int reduction, bool cmyk,
                             bool& warned) {
    warned = false;
    if (area.isEmpty()) {
        return {};
    }
    QImage image(area.size(), QImage::Format_RGB32);
    if (image.isNull() ||
        !decodeInto(file, area, reduction, cmyk, image.bits(), image.bytesPerLine(), warned)) {
        return {};
    }
    return image;
}
