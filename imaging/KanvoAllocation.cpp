#include "imaging/KanvoAllocation.h"

#include <QString>
#include <algorithm>
#include <limits>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_MACOS)
#include <sys/sysctl.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr qint64 mebibyte = qint64(1) << 20;
constexpr qint64 budgetCeiling = qint64(4) << 30;
// Where physical memory cannot be read.
constexpr qint64 assumedPhysicalMemory = qint64(4) << 30;

qint64 physicalMemoryBytes() {
#if defined(Q_OS_WIN)
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    return GlobalMemoryStatusEx(&status) ? qint64(status.ullTotalPhys) : assumedPhysicalMemory;
#elif defined(Q_OS_MACOS)
    int64_t bytes = 0;
    size_t size = sizeof(bytes);
    return sysctlbyname("hw.memsize", &bytes, &size, nullptr, 0) == 0 ? qint64(bytes)
                                                                      : assumedPhysicalMemory;
#else
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : assumedPhysicalMemory;
#endif
}

} // namespace

qint64 KanvoAllocation::budgetBytes() {
    bool ok = false;
    const double configured = qEnvironmentVariable("KANVO_CACHE_MB").toDouble(&ok);
    if (ok && configured >= 0) {
        // A figure past what 64 bits hold in bytes means "no limit".
        constexpr qint64 largest = std::numeric_limits<qint64>::max();
        return configured >= double(largest / mebibyte) ? largest
                                                        : qint64(configured * double(mebibyte));
    }
    return std::min(physicalMemoryBytes() / 4, budgetCeiling);
}

qint64 KanvoAllocation::largestImageBytes() {
    return budgetBytes() / 16 * 3;
}
