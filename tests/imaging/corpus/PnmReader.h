#pragma once

#include <QByteArray>
#include <QImage>
#include <array>
#include <optional>

// Reads what the netpbm-style reference decoders write: P5 (grey), P6 (RGB)
// and P7 (PAM: grey, grey and alpha, RGB, RGB and alpha), at any maxval up to
// 65535 (Qt reads no 16-bit P6 and no PAM), into an unpremultiplied ARGB32
// image, each sample scaled to 8 bits with rounding. Null when the header is
// malformed, the data is short (a decoder that stopped halfway has not made a
// reference) or a sample exceeds maxval.
namespace PnmReader {

// The RGB samples, at the file's own maxval, that stand for transparency.
using ColourKey = std::array<int, 3>;

// Pixels whose samples equal `transparent` are read as fully transparent.
QImage read(const QByteArray& file, std::optional<ColourKey> transparent = std::nullopt);

} // namespace PnmReader
