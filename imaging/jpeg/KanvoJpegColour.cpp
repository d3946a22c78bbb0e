#include "imaging/jpeg/KanvoJpegColour.h"

#include <cstdlib>

KanvoIccProfile KanvoJpegColour::iccProfileOf(jpeg_decompress_struct& info) {
    JOCTET* data = nullptr;
    unsigned int length = 0;
    if (!jpeg_read_icc_profile(&info, &data, &length)) {
        return {};
    }
    const KanvoIccProfile profile(
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(length)));
    std::free(data);
    using Model = KanvoIccProfile::Model;
    return profile.describing(isCmyk(info.jpeg_color_space) ? Model::Cmyk
                              : info.num_components == 1    ? Model::Grey
                                                            : Model::Rgb);
}
