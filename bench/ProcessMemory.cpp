#include "ProcessMemory.h"

#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <unistd.h>

namespace ProcessMemory {

double peakMegabytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtod(line.c_str() + 6, nullptr) / 1024; // given in kB
        }
    }
    return 0;
}

double groupPeakMegabytes(pid_t group) {
    double total = 0;
    DIR* processes = opendir("/proc");
    if (processes == nullptr) {
        return 0;
    }
    while (const dirent* entry = readdir(processes)) {
        if (std::isdigit(static_cast<unsigned char>(entry->d_name[0])) == 0) {
            continue;
        }
        const pid_t pid = std::atoi(entry->d_name);
        if (getpgid(pid) == group) {
            total += peakMegabytes(pid);
        }
    }
    closedir(processes);
    return total;
}

} // namespace ProcessMemory
