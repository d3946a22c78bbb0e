#include "imaging/KanvoHugePages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void KanvoHugePages::advise(void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::size_t smallest = std::size_t(4) << 20;
    if (data == nullptr || bytes < smallest) {
        return;
    }
    static const auto pageSize = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const auto start = (std::uintptr_t(data) + pageSize - 1) & ~(pageSize - 1);
    const auto end = (std::uintptr_t(data) + bytes) & ~(pageSize - 1);
    if (start < end) {
        // A refusal (huge pages off, an older kernel) leaves small pages.
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)bytes;
#endif
}

QImage KanvoHugePages::image(QSize size, QImage::Format format) {
    QImage image(size, format);
    if (!image.isNull()) {
        advise(image.bits(), std::size_t(image.sizeInBytes()));
    }
    return image;
}
