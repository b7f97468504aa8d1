#include "image_source.h"
#include "bounded_reader.h"
#include "last_error.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace posix {

DWORD ImageSource::Read(uint64_t offset, size_t length, std::vector<BYTE>& out) const {
    if (!InBounds(offset, length, Size()))
        return ERROR_BAD_FORMAT;
    out.resize(length);
    return ReadInside(offset, out.data(), length);
}

DWORD FileImageSource::ReadInside(uint64_t offset, BYTE* into, size_t length) const {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = pread(fd_, into + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Win32ErrorFromErrno(errno);
        // The file shrank since it was measured: what was promised is not there.
        if (n == 0)
            return ERROR_BAD_FORMAT;
        done += static_cast<size_t>(n);
    }
    return ERROR_SUCCESS;
}

DWORD MemoryImageSource::ReadInside(uint64_t offset, BYTE* into, size_t length) const {
    if (length > 0)
        memcpy(into, data_ + offset, length);
    return ERROR_SUCCESS;
}

} // namespace posix
