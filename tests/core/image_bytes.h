#pragma once

// Builders for image headers, shared by the core tests, the benchmarks and the
// fuzz corpus generator, so fixtures are made from bytes, not stored as files.

#include <cstdint>
#include <string>
#include <string_view>

namespace kanvo::test {

inline std::string bigEndian16(std::uint32_t v) {
    return {char(v >> 8 & 0xFF), char(v & 0xFF)};
}

inline std::string bigEndian32(std::uint32_t v) {
    return bigEndian16(v >> 16) + bigEndian16(v & 0xFFFF);
}

// Signature, then the first chunk's length and type and the start of its data:
// exactly the 32 bytes a header reader looks at.
inline std::string pngBytes(std::uint32_t width, std::uint32_t height,
                            std::string_view chunkType = "IHDR") {
    return std::string("\x89PNG\r\n\x1A\n\0\0\0\x0D", 12) + std::string(chunkType) +
           bigEndian32(width) + bigEndian32(height) +
           std::string("\x08\x06\x00\x00\x00\xDE\xAD\xBE", 8);
}

inline std::string jpegSegment(unsigned char code, std::string_view body) {
    return std::string{'\xFF', char(code)} + bigEndian16(std::uint32_t(body.size() + 2)) +
           std::string(body);
}

// Sample precision, height, width, then one component.
inline std::string jpegFrameBody(std::uint32_t width, std::uint32_t height) {
    return std::string(1, '\x08') + bigEndian16(height) + bigEndian16(width) +
           std::string("\x01\x01\x11\x00", 4);
}

inline const std::string jpegStart{"\xFF\xD8", 2};

// A JPEG as cameras write it: APP0, a quantisation table, then the frame.
inline std::string jpegBytes(std::uint32_t width, std::uint32_t height,
                             unsigned char frameCode = 0xC0) {
    return jpegStart + jpegSegment(0xE0, std::string("JFIF\0\x01\x01\0\0\1\0\1\0\0", 14)) +
           jpegSegment(0xDB, std::string(65, '\x01')) +
           jpegSegment(frameCode, jpegFrameBody(width, height)) +
           std::string("\xFF\xDA\x00\x02\xFF\xD9", 6);
}

inline std::string ppmBytes(std::string_view header) {
    return std::string(header) + std::string(12, '\x7F');
}

} // namespace kanvo::test
