#include "version/pe_image.h"
#include "version/bounded_reader.h"

#include <algorithm>

namespace posix {

namespace {

constexpr uint16_t kDosMagic = 0x5A4D;    // "MZ"
constexpr uint32_t kPeSignature = 0x4550; // "PE\0\0"
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr size_t kDosHeaderSize = 64;
constexpr size_t kNewHeaderOffsetField = 0x3C;
constexpr size_t kFileHeaderSize = 24; // the signature and the COFF file header
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kDataDirectorySize = 8;
constexpr uint32_t kResourceDirectoryIndex = 2;
// Where the data directories start in the optional header of each kind.
constexpr size_t kPe32Directories = 96;
constexpr size_t kPe32PlusDirectories = 112;
constexpr size_t kLargestOptionalPrefix =
    kPe32PlusDirectories + (kResourceDirectoryIndex + 1) * kDataDirectorySize;
// The PE format's documented limit of the Windows loader; it also bounds the table we read.
constexpr uint16_t kMaxSections = 96;

struct NtHeaders {
    uint16_t machine = 0;
    uint64_t optionalOffset = 0;
    uint16_t optionalSize = 0;
    uint16_t sectionCount = 0;
};

DWORD ReadNtHeaders(const ImageSource& source, NtHeaders& headers) {
    std::vector<BYTE> bytes;
    if (DWORD error = source.Read(0, kDosHeaderSize, bytes))
        return error;
    const ByteView dos(bytes.data(), bytes.size());
    uint16_t magic = 0;
    uint32_t newHeader = 0;
    if (!dos.ReadU16(0, magic) || magic != kDosMagic ||
        !dos.ReadU32(kNewHeaderOffsetField, newHeader))
        return ERROR_BAD_FORMAT;
    if (DWORD error = source.Read(newHeader, kFileHeaderSize, bytes))
        return error;
    const ByteView file(bytes.data(), bytes.size());
    uint32_t signature = 0;
    if (!file.ReadU32(0, signature) || signature != kPeSignature ||
        !file.ReadU16(4, headers.machine) || !file.ReadU16(6, headers.sectionCount) ||
        !file.ReadU16(20, headers.optionalSize))
        return ERROR_BAD_FORMAT;
    headers.optionalOffset = uint64_t{newHeader} + kFileHeaderSize;
    return ERROR_SUCCESS;
}

// Finds the resource entry of the data directories, whose place depends on the header's kind.
DWORD ReadResourceEntry(const ImageSource& source, const NtHeaders& headers, uint32_t& rva,
                        uint32_t& size) {
    std::vector<BYTE> bytes;
    const size_t wanted = std::min<size_t>(headers.optionalSize, kLargestOptionalPrefix);
    if (DWORD error = source.Read(headers.optionalOffset, wanted, bytes))
        return error;
    const ByteView optional(bytes.data(), bytes.size());
    uint16_t magic = 0;
    if (!optional.ReadU16(0, magic))
        return ERROR_BAD_FORMAT;
    const size_t directories = magic == kPe32Magic       ? kPe32Directories
                               : magic == kPe32PlusMagic ? kPe32PlusDirectories
                                                         : 0;
    uint32_t count = 0;
    if (directories == 0 || !optional.ReadU32(directories - 4, count))
        return ERROR_BAD_FORMAT;
    if (count <= kResourceDirectoryIndex)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    const size_t entry = directories + kResourceDirectoryIndex * kDataDirectorySize;
    if (!optional.ReadU32(entry, rva) || !optional.ReadU32(entry + 4, size))
        return ERROR_BAD_FORMAT;
    return rva == 0 || size == 0 ? ERROR_RESOURCE_DATA_NOT_FOUND : ERROR_SUCCESS;
}

} // namespace

DWORD ReadImageMachine(const ImageSource& source, uint16_t& machine) {
    NtHeaders headers;
    if (DWORD error = ReadNtHeaders(source, headers))
        return error;
    machine = headers.machine;
    return ERROR_SUCCESS;
}

DWORD PeImage::Open(const ImageSource& source) {
    NtHeaders headers;
    if (DWORD error = ReadNtHeaders(source, headers))
        return error;
    uint32_t rva = 0, size = 0;
    if (DWORD error = ReadResourceEntry(source, headers, rva, size))
        return error;
    if (DWORD error = ReadSections(source, headers.optionalOffset + headers.optionalSize,
                                   headers.sectionCount))
        return error;
    return MapRva(rva, size, resources_) ? ERROR_SUCCESS : ERROR_BAD_FORMAT;
}

DWORD PeImage::ReadSections(const ImageSource& source, uint64_t tableOffset, uint16_t count) {
    if (count == 0 || count > kMaxSections)
        return ERROR_BAD_FORMAT;
    std::vector<BYTE> bytes;
    if (DWORD error = source.Read(tableOffset, size_t{count} * kSectionHeaderSize, bytes))
        return error;
    const ByteView table(bytes.data(), bytes.size());
    sections_.clear();
    for (size_t i = 0; i < count; ++i) {
        const size_t at = i * kSectionHeaderSize;
        uint32_t virtualSize = 0, rva = 0, rawSize = 0, rawOffset = 0;
        if (!table.ReadU32(at + 8, virtualSize) || !table.ReadU32(at + 12, rva) ||
            !table.ReadU32(at + 16, rawSize) || !table.ReadU32(at + 20, rawOffset))
            return ERROR_BAD_FORMAT;
        // Past its virtual size a section is zeros in memory, not file data.
        const uint32_t span = virtualSize == 0 ? rawSize : std::min(virtualSize, rawSize);
        // A section whose data runs past the end of the file can hold nothing we read.
        if (InBounds(rawOffset, span, source.Size()))
            sections_.push_back({rva, span, rawOffset});
    }
    return ERROR_SUCCESS;
}

bool PeImage::MapRva(uint32_t rva, uint32_t size, FileRange& out) const {
    for (const Section& section : sections_) {
        if (rva >= section.rva && InBounds(rva - section.rva, size, section.span)) {
            out = {section.fileOffset + (rva - section.rva), size};
            return true;
        }
    }
    return false;
}

} // namespace posix
