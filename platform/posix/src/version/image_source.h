// Where the bytes of an executable image come from: a file read piece by piece with pread(),
// or bytes already in memory (what the fuzz target hands in).
#ifndef DLLINSTALL_POSIX_IMAGE_SOURCE_H
#define DLLINSTALL_POSIX_IMAGE_SOURCE_H

#include <windows.h>

#include <cstdint>
#include <vector>

namespace posix {

class ImageSource {
  public:
    virtual ~ImageSource() = default;

    virtual uint64_t Size() const = 0;

    // Fills out with exactly length bytes from offset; ERROR_BAD_FORMAT when the image does not
    // hold them all, or the code of the read that failed.
    DWORD Read(uint64_t offset, size_t length, std::vector<BYTE>& out) const;

  private:
    // Reads bytes already known to lie within Size().
    virtual DWORD ReadInside(uint64_t offset, BYTE* into, size_t length) const = 0;
};

// An open file, read with pread() a few pages at a time, so that only the pages around the
// pieces asked for are ever read. The headers and the resource section are each asked for in
// many small pieces; two windows of whole pages serve them with one read each.
class FileImageSource : public ImageSource {
  public:
    FileImageSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
    uint64_t Size() const override { return size_; }

    // A piece larger than this is read on its own rather than through a window.
    static constexpr size_t kLargestWindow = size_t{16} * 1024;

  private:
    struct Window {
        uint64_t offset = 0;
        size_t filled = 0;
        BYTE bytes[kLargestWindow];
        bool Holds(uint64_t from, size_t count) const;
    };

    DWORD ReadInside(uint64_t offset, BYTE* into, size_t length) const override;
    DWORD ReadDirect(uint64_t offset, BYTE* into, size_t length) const;
    DWORD Fill(Window& window, uint64_t offset, size_t length) const;

    int fd_;
    uint64_t size_;
    mutable Window windows_[2];
    mutable size_t nextToReplace_ = 0;
};

class MemoryImageSource : public ImageSource {
  public:
    MemoryImageSource(const BYTE* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }

  private:
    DWORD ReadInside(uint64_t offset, BYTE* into, size_t length) const override;
    const BYTE* data_;
    size_t size_;
};

} // namespace posix

#endif
