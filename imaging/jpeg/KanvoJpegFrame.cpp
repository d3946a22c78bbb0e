#include "imaging/jpeg/KanvoJpegFrame.h"

#include "imaging/jpeg/KanvoJpegColour.h"
#include "imaging/jpeg/KanvoLibjpegReader.h"

KanvoJpegFrame KanvoJpegFrame::read(std::span<const uchar> file) {
    KanvoLibjpegReader reader;
    if (setjmp(reader.errors.exit) != 0) {
        jpeg_destroy_decompress(&reader.info);
        return {};
    }
    reader.start(file);
    jpeg_save_markers(&reader.info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&reader.info, TRUE);
    KanvoJpegFrame frame;
    frame.storedSize = QSize(int(reader.info.image_width), int(reader.info.image_height));
    frame.cmyk = KanvoJpegColour::isCmyk(reader.info.jpeg_color_space);
    frame.progressive = jpeg_has_multiple_scans(&reader.info);
    frame.rowsPerBand = reader.info.max_v_samp_factor * DCTSIZE;
    frame.iccProfile = KanvoJpegColour::iccProfileOf(reader.info);
    jpeg_destroy_decompress(&reader.info);
    return frame;
}
