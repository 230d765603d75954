#pragma once
// Resident set size of this process in KiB, as the kernel reports it; -1 when
// it cannot be read. Shared by the soak test and the memory figure.
#include <fstream>
#include <string>

inline long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}
