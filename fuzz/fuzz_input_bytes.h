#pragma once

#include <cstddef>
#include <cstdint>

namespace kanvo::fuzz {

// A fuzz input, a byte at a time: zero once it runs out, so that a short
// input chooses the plainest of everything. Samples past its end are noise
// instead, so that every image made from it has rows worth filtering.
class InputBytes {
public:
    InputBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }

    std::uint8_t sample() {
        if (at_ < size_) {
            return data_[at_++];
        }
        noise_ = noise_ * 1103515245u + 12345u;
        return std::uint8_t(noise_ >> 16);
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    std::uint32_t noise_ = 1;
};

} // namespace kanvo::fuzz
