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

constexpr size_t kSizeOfHeadersField = 60; // the same in both kinds of optional header
constexpr uint64_t kPageSize = 4096;

// The loader maps whole pages: what a part of the image leaves of its last page reads as zeros.
uint32_t PageAligned(uint32_t size) {
    return static_cast<uint32_t>(
        std::min<uint64_t>((size + kPageSize - 1) & ~(kPageSize - 1), UINT32_MAX));
}

struct OptionalHeader {
    uint32_t headersSize = 0;
    uint32_t resourceRva = 0;
    uint32_t resourceSize = 0;
};

// Finds the size of the headers and the resource entry of the data directories, whose place
// depends on the header's kind.
DWORD ReadOptionalHeader(const ImageSource& source, const NtHeaders& headers,
                         OptionalHeader& optionalHeader) {
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
    if (directories == 0 || !optional.ReadU32(directories - 4, count) ||
        !optional.ReadU32(kSizeOfHeadersField, optionalHeader.headersSize))
        return ERROR_BAD_FORMAT;
    if (count <= kResourceDirectoryIndex)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    const size_t entry = directories + kResourceDirectoryIndex * kDataDirectorySize;
    uint32_t& rva = optionalHeader.resourceRva;
    uint32_t& size = optionalHeader.resourceSize;
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
    OptionalHeader optional;
    if (DWORD error = ReadOptionalHeader(source, headers, optional))
        return error;
    // The headers are mapped at the start of the image, as far as the file holds them.
    regions_.clear();
    const auto headersSpan =
        static_cast<uint32_t>(std::min<uint64_t>(optional.headersSize, source.Size()));
    regions_.push_back({0, PageAligned(headersSpan), headersSpan, 0});
    if (DWORD error = ReadSections(source, headers.optionalOffset + headers.optionalSize,
                                   headers.sectionCount))
        return error;
    resources_ = {optional.resourceRva, optional.resourceSize};
    // The loader looks only at where the directory starts, not at the size stated for it.
    return IsMapped(resources_.rva, 1) ? ERROR_SUCCESS : ERROR_BAD_FORMAT;
}

DWORD PeImage::ReadSections(const ImageSource& source, uint64_t tableOffset, uint16_t count) {
    if (count == 0 || count > kMaxSections)
        return ERROR_BAD_FORMAT;
    std::vector<BYTE> bytes;
    if (DWORD error = source.Read(tableOffset, size_t{count} * kSectionHeaderSize, bytes))
        return error;
    const ByteView table(bytes.data(), bytes.size());
    for (size_t i = 0; i < count; ++i) {
        const size_t at = i * kSectionHeaderSize;
        uint32_t virtualSize = 0, rva = 0, rawSize = 0, rawOffset = 0;
        if (!table.ReadU32(at + 8, virtualSize) || !table.ReadU32(at + 12, rva) ||
            !table.ReadU32(at + 16, rawSize) || !table.ReadU32(at + 20, rawOffset))
            return ERROR_BAD_FORMAT;
        // In memory a section fills whole pages, and past its file data it is zeros.
        const uint32_t span = PageAligned(virtualSize == 0 ? rawSize : virtualSize);
        const uint32_t fileSpan = std::min(span, rawSize);
        // A section whose data runs past the end of the file can hold nothing we read.
        if (InBounds(rawOffset, fileSpan, source.Size()))
            regions_.push_back({rva, span, fileSpan, rawOffset});
    }
    return ERROR_SUCCESS;
}

const PeImage::Region* PeImage::RegionOf(uint32_t rva, uint32_t size) const {
    for (const Region& region : regions_) {
        if (rva >= region.rva && InBounds(rva - region.rva, size, region.span))
            return &region;
    }
    return nullptr;
}

bool PeImage::IsMapped(uint32_t rva, uint32_t size) const {
    return RegionOf(rva, size) != nullptr;
}

DWORD PeImage::ReadRva(const ImageSource& source, uint32_t rva, uint32_t size,
                       std::vector<BYTE>& out) const {
    const Region* region = RegionOf(rva, size);
    if (!region)
        return ERROR_BAD_FORMAT;
    const uint32_t inside = rva - region->rva;
    const uint32_t fromFile =
        inside >= region->fileSpan ? 0 : std::min(size, region->fileSpan - inside);
    if (DWORD error = source.Read(region->fileOffset + inside, fromFile, out))
        return error;
    out.resize(size, 0);
    return ERROR_SUCCESS;
}

} // namespace posix
