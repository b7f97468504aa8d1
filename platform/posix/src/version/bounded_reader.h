// The one bounds check that every read of untrusted bytes goes through: the PE reader and the
// version tree walker look at a file or a block only by way of InBounds and ByteView.
#ifndef DLLINSTALL_POSIX_BOUNDED_READER_H
#define DLLINSTALL_POSIX_BOUNDED_READER_H

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace posix {

// True when [offset, offset + length) lies within [0, size); written so that no sum can wrap.
constexpr bool InBounds(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

// Bytes that may hold anything, read little-endian and never past their end.
class ByteView {
  public:
    ByteView() = default;
    ByteView(const BYTE* data, size_t size) : data_(data), size_(size) {}

    size_t size() const { return size_; }
    bool Has(size_t offset, size_t length) const { return InBounds(offset, length, size_); }

    // The length bytes at offset, or null when they are not all in the view.
    const BYTE* At(size_t offset, size_t length) const {
        return Has(offset, length) ? data_ + offset : nullptr;
    }

    bool ReadU16(size_t offset, uint16_t& value) const {
        const BYTE* p = At(offset, 2);
        if (!p)
            return false;
        value = static_cast<uint16_t>(p[0] | p[1] << 8);
        return true;
    }

    bool ReadU32(size_t offset, uint32_t& value) const {
        const BYTE* p = At(offset, 4);
        if (!p)
            return false;
        value = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        return true;
    }

    // The first length bytes of the view as a view of their own.
    bool Prefix(size_t length, ByteView& out) const {
        if (!Has(0, length))
            return false;
        out = ByteView(data_, length);
        return true;
    }

  private:
    const BYTE* data_ = nullptr;
    size_t size_ = 0;
};

} // namespace posix

#endif
