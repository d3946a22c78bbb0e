#pragma once

#include "fuzz_input_bytes.h"

#include <cstdint>
#include <vector>

namespace kanvo::fuzz {

// A JPEG whose every part is chosen by the fuzz input: one to four
// components with any sampling factors (mostly the common layouts, sometimes
// shapes no decoder takes), a frame of 1 to 65535 pixels either way,
// quantisers, Huffman tables (the standard ones or made up, valid or not), a
// restart interval, and coded data that is either blocks encoded with those
// tables, restart markers in their places, or raw bytes; then perhaps a
// marker inside the data, a wrong restart number, a run of restart markers,
// no end marker, or a cut anywhere in the headers or the data; now and then
// stray bytes between segments, a frame other than baseline, or the scan's
// components out of frame order. Mutating the input moves the file's
// structure, which byte-level mutation of a JPEG almost never does.
std::vector<std::uint8_t> fuzzedJpeg(FuzzInputBytes& input);

} // namespace kanvo::fuzz
