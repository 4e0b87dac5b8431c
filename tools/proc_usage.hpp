// A child process's processor time and resident memory, read from /proc (Linux), for the benches that
// run kavrin as a child.
#pragma once

#include <sys/types.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace kvr {

// User and system time in clock ticks.
inline long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), {});
    if (all.empty()) return 0;
    std::istringstream fields(all.substr(all.rfind(')') + 2));
    std::string f;
    long utime = 0, stime = 0;
    for (int k = 3; k <= 15 && fields >> f; ++k) {
        if (k == 14) utime = std::stol(f);
        if (k == 15) stime = std::stol(f);
    }
    return utime + stime;
}

// Resident memory in KB.
inline long residentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

} // namespace kvr
