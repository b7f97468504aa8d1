#include "pe_reader.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace release {

namespace {

constexpr uint32_t kImportEntry = 1;
constexpr uint32_t kResourceEntry = 2;
constexpr uint32_t kDelayImportEntry = 13;
constexpr size_t kImportDescriptorSize = 20;
constexpr size_t kDelayDescriptorSize = 32;
// More DLLs than any image imports: a table that does not end by then is malformed.
constexpr size_t kMaxTableEntries = 4096;

[[noreturn]] void Malformed(const std::string& what) {
    throw std::runtime_error("malformed PE image: " + what);
}

} // namespace

PeImage::PeImage(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ReadHeaders();
}

uint32_t PeImage::Read32(size_t offset) const {
    return static_cast<uint32_t>(Read16(offset)) | static_cast<uint32_t>(Read16(offset + 2)) << 16;
}

uint16_t PeImage::Read16(size_t offset) const {
    if (offset > bytes_.size() || bytes_.size() - offset < 2)
        Malformed("a read beyond the end of the file");
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes_[offset]) |
                                 static_cast<unsigned char>(bytes_[offset + 1]) << 8);
}

void PeImage::ReadHeaders() {
    if (Read16(0) != 0x5A4D)
        Malformed("no MZ header");
    const size_t pe = Read32(0x3C);
    if (Read32(pe) != 0x00004550)
        Malformed("no PE signature");
    const size_t fileHeader = pe + 4, optional = fileHeader + 20;
    machine_ = Read16(fileHeader);
    const uint16_t sectionCount = Read16(fileHeader + 2);
    const uint16_t optionalSize = Read16(fileHeader + 16);
    const uint16_t magic = Read16(optional);
    if (magic != 0x10B && magic != 0x20B)
        Malformed("an unknown optional header magic");
    pe32Plus_ = magic == 0x20B;
    imageBase_ = pe32Plus_
                     ? Read32(optional + 24) | static_cast<uint64_t>(Read32(optional + 28)) << 32
                     : Read32(optional + 28);
    sizeOfImage_ = Read32(optional + 56);
    subsystem_ = Read16(optional + 68);
    dllCharacteristics_ = Read16(optional + 70);
    const size_t countOffset = optional + (pe32Plus_ ? 108 : 92);
    directoryCount_ = Read32(countOffset);
    directoriesOffset_ = countOffset + 4;
    const size_t sectionTable = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const size_t entry = sectionTable + i * 40u;
        sections_.push_back(
            {Read32(entry + 12), Read32(entry + 8), Read32(entry + 20), Read32(entry + 16)});
    }
}

std::pair<uint32_t, uint32_t> PeImage::Directory(unsigned index) const {
    if (index >= directoryCount_)
        return {0, 0};
    return {Read32(directoriesOffset_ + index * 8), Read32(directoriesOffset_ + index * 8 + 4)};
}

size_t PeImage::OffsetOfRva(uint32_t rva, uint32_t length) const {
    for (const Section& section : sections_) {
        if (rva < section.rva || rva - section.rva >= section.rawSize)
            continue;
        const uint32_t within = rva - section.rva;
        if (section.rawSize - within < length ||
            static_cast<size_t>(section.rawOffset) + section.rawSize > bytes_.size())
            Malformed("data that runs past its section");
        return section.rawOffset + within;
    }
    Malformed("an address outside every section");
}

std::string PeImage::StringAt(uint32_t rva) const {
    const size_t start = OffsetOfRva(rva, 1);
    const size_t end = bytes_.find('\0', start);
    if (end == std::string::npos)
        Malformed("a name without its terminator");
    return bytes_.substr(start, end - start);
}

std::vector<std::string> PeImage::FunctionNames(uint32_t thunksRva) const {
    std::vector<std::string> names;
    const uint32_t thunkSize = pe32Plus_ ? 8 : 4;
    for (size_t i = 0; i < kMaxTableEntries; ++i) {
        const size_t offset =
            OffsetOfRva(static_cast<uint32_t>(thunksRva + i * thunkSize), thunkSize);
        const uint32_t low = Read32(offset);
        const uint32_t high = pe32Plus_ ? Read32(offset + 4) : 0;
        if (low == 0 && high == 0)
            return names;
        const bool byOrdinal = pe32Plus_ ? (high & 0x80000000u) != 0 : (low & 0x80000000u) != 0;
        names.push_back(byOrdinal ? "#" + std::to_string(low & 0xFFFF) : StringAt(low + 2));
    }
    Malformed("an import name table without its end");
}

std::vector<ImportedDll> PeImage::Imports() const {
    std::vector<ImportedDll> dlls;
    const auto [rva, size] = Directory(kImportEntry);
    if (rva == 0 || size == 0)
        return dlls;
    for (size_t i = 0; i < kMaxTableEntries; ++i) {
        const size_t entry = OffsetOfRva(static_cast<uint32_t>(rva + i * kImportDescriptorSize),
                                         kImportDescriptorSize);
        const uint32_t names = Read32(entry), dllName = Read32(entry + 12);
        const uint32_t addresses = Read32(entry + 16);
        if (names == 0 && dllName == 0 && addresses == 0)
            return dlls;
        dlls.push_back({StringAt(dllName), FunctionNames(names != 0 ? names : addresses)});
    }
    Malformed("an import table without its end");
}

std::vector<ImportedDll> PeImage::DelayImports() const {
    std::vector<ImportedDll> dlls;
    const auto [rva, size] = Directory(kDelayImportEntry);
    if (rva == 0 || size == 0)
        return dlls;
    for (size_t i = 0; i < size / kDelayDescriptorSize; ++i) {
        const size_t entry = OffsetOfRva(static_cast<uint32_t>(rva + i * kDelayDescriptorSize),
                                         kDelayDescriptorSize);
        const uint32_t dllName = Read32(entry + 4), names = Read32(entry + 16);
        if (dllName == 0)
            return dlls;
        // Attribute 1 says the fields are RVAs; the older form holds addresses instead.
        if (Read32(entry) != 1)
            Malformed("a delay-import descriptor that is not RVA-based");
        dlls.push_back({StringAt(dllName), FunctionNames(names)});
    }
    Malformed("a delay-import table without its empty last descriptor");
}

std::vector<std::pair<uint32_t, uint32_t>> PeImage::ResourceEntries(uint32_t directory) const {
    const uint32_t base = Directory(kResourceEntry).first;
    const size_t header = OffsetOfRva(base + directory, 16);
    const uint32_t named = Read16(header + 12), numbered = Read16(header + 14);
    std::vector<std::pair<uint32_t, uint32_t>> entries;
    for (uint32_t i = 0; i < named + numbered; ++i) {
        const size_t entry = OffsetOfRva(base + directory + 16 + i * 8, 8);
        entries.push_back({Read32(entry), Read32(entry + 4)});
    }
    return entries;
}

// The child of a directory with that id: the offset of a subdirectory, or of a data entry.
uint32_t PeImage::ResourceChild(uint32_t directory, uint32_t id, bool wantDirectory) const {
    for (const auto& [name, target] : ResourceEntries(directory)) {
        if (name != id)
            continue;
        if (((target & 0x80000000u) != 0) != wantDirectory)
            Malformed("a resource entry of the wrong kind");
        return target & 0x7FFFFFFFu;
    }
    return 0;
}

std::vector<uint32_t> PeImage::ResourceIds(uint32_t type) const {
    std::vector<uint32_t> ids;
    if (Directory(kResourceEntry).first == 0)
        return ids;
    const uint32_t names = ResourceChild(0, type, true);
    if (names == 0)
        return ids;
    for (const auto& entry : ResourceEntries(names))
        ids.push_back(entry.first);
    return ids;
}

std::string PeImage::Resource(uint32_t type, uint32_t id) const {
    if (Directory(kResourceEntry).first == 0)
        return {};
    const uint32_t names = ResourceChild(0, type, true);
    const uint32_t languages = names ? ResourceChild(names, id, true) : 0;
    if (languages == 0)
        return {};
    const auto entries = ResourceEntries(languages);
    if (entries.empty() || (entries.front().second & 0x80000000u) != 0)
        Malformed("a resource without data");
    const size_t data = OffsetOfRva(Directory(kResourceEntry).first + entries.front().second, 16);
    const uint32_t rva = Read32(data), size = Read32(data + 4);
    return bytes_.substr(OffsetOfRva(rva, size), size);
}

} // namespace release
