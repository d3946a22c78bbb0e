#pragma once

// Image headers built from bytes, for the core tests, benchmarks and fuzz seeds.

#include <cstdint>
#include <string>
#include <string_view>

namespace kanvo::test {

using namespace std::string_literals;

inline std::string bigEndian16(std::uint32_t v) {
    return {char(v >> 8 & 0xFF), char(v & 0xFF)};
}

// The 32 bytes a header reader looks at: signature, first chunk's length and type.
inline std::string pngBytes(std::uint32_t width, std::uint32_t height,
                            std::string_view chunkType = "IHDR") {
    return "\x89PNG\r\n\x1A\n\0\0\0\x0D"s + std::string(chunkType) + bigEndian16(width >> 16) +
           bigEndian16(width) + bigEndian16(height >> 16) + bigEndian16(height) +
           "\x08\x06\0\0\0\xDE\xAD\xBE"s;
}

inline std::string jpegSegment(unsigned char code, std::string_view body) {
    return std::string{'\xFF', char(code)} + bigEndian16(std::uint32_t(body.size() + 2)) +
           std::string(body);
}

// Sample precision, height, width, then one component.
inline std::string jpegFrameBody(std::uint32_t width, std::uint32_t height) {
    return '\x08' + bigEndian16(height) + bigEndian16(width) + "\x01\x01\x11\0"s;
}

inline const std::string jpegStart = "\xFF\xD8";

// A JPEG as cameras write it: APP0, a quantisation table, then the frame.
inline std::string jpegBytes(std::uint32_t width, std::uint32_t height, unsigned char code = 0xC0) {
    return jpegStart + jpegSegment(0xE0, "JFIF\0\x01\x01\0\0\1\0\1\0\0"s) +
           jpegSegment(0xDB, std::string(65, '\x01')) +
           jpegSegment(code, jpegFrameBody(width, height)) + "\xFF\xDA\0\x02\xFF\xD9"s;
}

inline std::string u16(std::uint32_t v, bool little) {
    return little ? std::string{char(v & 0xFF), char(v >> 8 & 0xFF)} : bigEndian16(v);
}

inline std::string u32(std::uint32_t v, bool little) {
    return little ? u16(v & 0xFFFF, true) + u16(v >> 16, true)
                  : u16(v >> 16, false) + u16(v, false);
}

// An Exif APP1 body whose first directory holds one entry: `tag` of `type`
// with `value`, in either byte order, as cameras write it.
inline std::string exifBody(std::uint32_t value, bool little = false, std::uint32_t tag = 0x0112,
                            std::uint32_t type = 3) {
    const std::string entry =
        u16(tag, little) + u16(type, little) + u32(1, little) + u16(value, little) + u16(0, little);
    return "Exif\0\0"s + (little ? "II" : "MM") + u16(42, little) + u32(8, little) +
           u16(1, little) + entry + u32(0, little);
}

inline std::string ppmBytes(std::string_view header) {
    return std::string(header) + std::string(12, '\x7F');
}

} // namespace kanvo::test
