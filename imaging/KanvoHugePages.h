#pragma once

#include <QImage>
#include <cstddef>

// Large buffers (a file's bytes, decoded pixels) on the kernel's huge pages
// where it offers them on request. Every first touch of a small page costs a
// fault, and on a virtual machine a dear one: a gigapixel file's bytes and
// its overview would otherwise take seconds of faults before a pixel is
// drawn. A hint only: elsewhere, or where huge pages are off, nothing
// changes.
namespace KanvoHugePages {

// Asks for huge pages under the whole pages of [data, data + bytes), before
// they are first touched; nothing for a buffer below a few megabytes.
void advise(void* data, std::size_t bytes);

// A new image of `size` and `format` whose pixels are advised; null where it
// cannot be allocated, as QImage's own constructor.
QImage image(QSize size, QImage::Format format);

} // namespace KanvoHugePages
