#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kanvo::fuzz {

// The fuzz input read as a sequence of choices, for targets that build their
// input's structure themselves. Once the bytes run out every choice is the
// first one, so a short input still makes a whole, small structure; samples
// past the end are noise instead, so that every image made from a short
// input still has rows worth filtering.
class FuzzInputBytes {
public:
    explicit FuzzInputBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t byte() { return next_ < bytes_.size() ? bytes_[next_++] : 0; }

    // A number in [low, high], from as many bytes as the range needs.
    std::uint32_t inRange(std::uint32_t low, std::uint32_t high) {
        const std::uint32_t span = high - low;
        std::uint32_t value = 0;
        for (std::uint32_t left = span; left > 0; left >>= 8) {
            value = value << 8 | byte();
        }
        return span == UINT32_MAX ? value : low + value % (span + 1);
    }

    std::uint8_t sample() {
        if (next_ < bytes_.size()) {
            return bytes_[next_++];
        }
        noise_ = noise_ * 1103515245U + 12345U;
        return std::uint8_t(noise_ >> 16);
    }

    // True about `percent` times in a hundred.
    bool chance(int percent) { return byte() % 100 < percent; }

    // Up to `count` of the bytes left, as they are.
    std::span<const std::uint8_t> take(std::size_t count) {
        const std::size_t taken = std::min(count, bytes_.size() - next_);
        const std::span<const std::uint8_t> part = bytes_.subspan(next_, taken);
        next_ += taken;
        return part;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t next_ = 0;
    std::uint32_t noise_ = 1;
};

} // namespace kanvo::fuzz
