#pragma once

#include <QByteArray>
#include <QIODevice>
#include <memory>
#include <span>
#include <spng.h>
#include <vector>

// The chunks of a PNG file as every PNG path reads them: the header and the
// chunks before the image data through libspng, configured once here, and
// the image data's own chunks, each checked against its CRC.
namespace KanvoPngChunks {

using SpngContext = std::unique_ptr<spng_ctx, void (*)(spng_ctx*)>;

// libspng reading `file`, its header read into `header`: critical chunks'
// CRCs checked, an ancillary chunk failing its CRC dropped, as libpng drops
// it, and no chunk kept over KanvoPngDecoder::largestKeptChunkBytes. Null when the header is
// unreadable.
SpngContext headerReader(std::span<const uchar> file, spng_ihdr& header);

// The data of the consecutive IDAT chunks, each checked against its CRC, as
// encoders write them (8 KiB to 1 MiB each); empty when a chunk is broken.
// libspng leaves the last chunk's CRC unchecked when the image data inflates
// before it, which libpng refuses; every path checks them here.
std::vector<std::span<const uchar>> imageData(std::span<const uchar> file);

// The bytes of `file` before its image data, the first IDAT chunk's length
// and type included: all a header reader needs. Empty when no IDAT chunk
// follows within largestHeadBytes, or a chunk before it is cut short.
constexpr qint64 largestHeadBytes = qint64(64) << 20;
QByteArray readHead(QIODevice& file);

// How many chunks of `type` lie before the image data.
int countBeforeImageData(std::span<const uchar> file, const char (&type)[5]);

} // namespace KanvoPngChunks
