#pragma once

#include <csetjmp>
#include <cstdio> // jpeglib.h uses FILE without including it
#include <jpeglib.h>

// A libjpeg decompressor whose errors jump back to the function that set
// `errors.exit` and whose warnings are ignored (it decodes on, as djpeg
// does). Plain data only, so the jump skips no destructor.
struct LibjpegReader {
    struct ErrorManager {
        jpeg_error_mgr base;
        std::jmp_buf exit;
    };

    jpeg_decompress_struct info;
    ErrorManager errors;

    // After setjmp(errors.exit): the decompressor, reading `size` bytes.
    void start(const unsigned char* data, unsigned long size) {
        info.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = [](j_common_ptr common) {
            std::longjmp(reinterpret_cast<ErrorManager*>(common->err)->exit, 1);
        };
        errors.base.emit_message = [](j_common_ptr, int) {
        };
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, data, size);
    }
};
