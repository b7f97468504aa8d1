#include "version/image_source.h"
#include "common/last_error.h"
#include "version/bounded_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <unistd.h>

namespace posix {

DWORD ImageSource::Read(uint64_t offset, size_t length, std::vector<BYTE>& out) const {
    if (!InBounds(offset, length, Size()))
        return ERROR_BAD_FORMAT;
    out.resize(length);
    return ReadInside(offset, out.data(), length);
}

namespace {

constexpr uint64_t kPageSize = 4096;

} // namespace

bool FileImageSource::Window::Holds(uint64_t from, size_t count) const {
    return from >= offset && InBounds(from - offset, count, filled);
}

DWORD FileImageSource::ReadInside(uint64_t offset, BYTE* into, size_t length) const {
    for (const Window& window : windows_) {
        if (window.Holds(offset, length)) {
            if (length > 0)
                memcpy(into, window.bytes + (offset - window.offset), length);
            return ERROR_SUCCESS;
        }
    }
    const uint64_t start = offset & ~(kPageSize - 1);
    const uint64_t end = std::min(size_, (offset + length + kPageSize - 1) & ~(kPageSize - 1));
    if (end - start > kLargestWindow)
        return ReadDirect(offset, into, length);
    Window& window = windows_[nextToReplace_];
    nextToReplace_ = (nextToReplace_ + 1) % std::size(windows_);
    if (DWORD error = Fill(window, start, static_cast<size_t>(end - start)))
        return error;
    if (length > 0)
        memcpy(into, window.bytes + (offset - start), length);
    return ERROR_SUCCESS;
}

DWORD FileImageSource::Fill(Window& window, uint64_t offset, size_t length) const {
    window.offset = offset;
    const DWORD error = ReadDirect(offset, window.bytes, length);
    // A window holds nothing rather than a partial read.
    window.filled = error == ERROR_SUCCESS ? length : 0;
    return error;
}

DWORD FileImageSource::ReadDirect(uint64_t offset, BYTE* into, size_t length) const {
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
