// The parts of a PE32 or PE32+ image that lead to its resources: the headers, the section
// table, and the image as the loader maps it, read by RVA.
#ifndef DLLINSTALL_POSIX_PE_IMAGE_H
#define DLLINSTALL_POSIX_PE_IMAGE_H

#include "version/image_source.h"

#include <cstdint>
#include <vector>

namespace posix {

// A run of bytes of the mapped image, by RVA.
struct RvaRange {
    uint32_t rva = 0;
    uint32_t size = 0;
};

// The machine an image is built for (0x14C for i386, 0x8664 for x64), from its headers alone;
// ERROR_BAD_FORMAT for anything that is not a PE image.
DWORD ReadImageMachine(const ImageSource& source, uint16_t& machine);

class PeImage {
  public:
    // Reads the DOS header, the PE headers and the section table. ERROR_BAD_FORMAT for
    // anything that is not a well-formed PE32 or PE32+ image, ERROR_RESOURCE_DATA_NOT_FOUND
    // for an image without a resource directory.
    DWORD Open(const ImageSource& source);

    // The resource directory, whose start lies within a mapped part of the image.
    const RvaRange& ResourceDirectory() const { return resources_; }

    // True when [rva, rva + size) lies whole within the headers or within one section.
    bool IsMapped(uint32_t rva, uint32_t size) const;

    // Reads [rva, rva + size) as the loader maps it: a section's bytes past its file data read
    // as zeroes. ERROR_BAD_FORMAT when the range is not whole within one mapped part.
    DWORD ReadRva(const ImageSource& source, uint32_t rva, uint32_t size,
                  std::vector<BYTE>& out) const;

  private:
    // A mapped part: the headers or a section, of which the file provides the first bytes.
    struct Region {
        uint32_t rva;
        uint32_t span;     // its size in the mapped image
        uint32_t fileSpan; // the bytes of it that come from the file
        uint64_t fileOffset;
    };

    DWORD ReadSections(const ImageSource& source, uint64_t tableOffset, uint16_t count);
    const Region* RegionOf(uint32_t rva, uint32_t size) const;

    std::vector<Region> regions_;
    RvaRange resources_;
};

} // namespace posix

#endif
