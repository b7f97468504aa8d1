// How many bytes this process has read so far, by the kernel's own count (/proc/self/io), so
// that a test or a benchmark can tell how much of a file a call really read.
#ifndef DLLINSTALL_BYTES_READ_H
#define DLLINSTALL_BYTES_READ_H

#include <fstream>
#include <string>

namespace testing_support {

// The "rchar" count, or -1 where /proc/self/io cannot be read.
inline long long BytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "rchar:")
            return value;
    }
    return -1;
}

} // namespace testing_support

#endif
