#pragma once

#include <QtGlobal>
#include <csetjmp>
#include <cstdio> // jpeglib.h uses FILE without including it
#include <jpeglib.h>
#include <span>

// A libjpeg decompressor over bytes in memory. libjpeg reports errors by
// calling error_exit, which must not return: it jumps to `errors.exit`,
// which the caller sets with setjmp before starting. Warnings (corrupt or
// missing data, which libjpeg papers over as its own tools do) are only
// noted. Plain data only: the jump out of libjpeg passes no C++ destructor.
struct KanvoLibjpegReader {
    struct ErrorManager {
        jpeg_error_mgr base;
        std::jmp_buf exit;
        bool warned;
        bool rowsDone; // every row was produced before the error
    };

    jpeg_decompress_struct info;
    ErrorManager errors;

    void start(std::span<const uchar> file);
};
