#pragma once

#include <sys/types.h>

// Peak resident memory (VmHWM in /proc/PID/status) in megabytes: of one
// process, or summed over every process of a process group, for a viewer
// that starts helpers of its own. 0 when there is none to read.
namespace ProcessMemory {

double peakMegabytes(pid_t pid);
double groupPeakMegabytes(pid_t group);

} // namespace ProcessMemory
