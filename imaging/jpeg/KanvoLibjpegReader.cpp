#include "imaging/jpeg/KanvoLibjpegReader.h"

namespace {

[[noreturn]] void exitOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<KanvoLibjpegReader::ErrorManager*>(info->err)->exit, 1);
}

void noteWarning(j_common_ptr info, int level) {
    if (level < 0) {
        reinterpret_cast<KanvoLibjpegReader::ErrorManager*>(info->err)->warned = true;
    }
}

} // namespace

void KanvoLibjpegReader::start(std::span<const uchar> file) {
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = exitOnError;
    errors.base.emit_message = noteWarning;
    errors.warned = false;
    errors.rowsDone = false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
}
