// The parts of a PE32 or PE32+ image that lead to its resources: the headers, the section
// table, and where the resource directory lies in the file.
#ifndef DLLINSTALL_POSIX_PE_IMAGE_H
#define DLLINSTALL_POSIX_PE_IMAGE_H

#include "version/image_source.h"

#include <cstdint>
#include <vector>

namespace posix {

// A run of bytes in the image file.
struct FileRange {
    uint64_t offset = 0;
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

    // The resource directory, whole within the file data of one section.
    const FileRange& ResourceDirectory() const { return resources_; }

    // The file range of [rva, rva + size) when the file data of one section holds all of it.
    bool MapRva(uint32_t rva, uint32_t size, FileRange& out) const;

  private:
    struct Section {
        uint32_t rva;
        uint32_t span; // the bytes of the section that the file provides
        uint64_t fileOffset;
    };

    DWORD ReadSections(const ImageSource& source, uint64_t tableOffset, uint16_t count);

    std::vector<Section> sections_;
    FileRange resources_;
};

} // namespace posix

#endif
