#include "pe_file.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {

namespace {

constexpr unsigned kImportEntry = 1;
constexpr unsigned kResourceEntry = 2;
constexpr unsigned kDelayImportEntry = 13;
constexpr size_t kImportDescriptorSize = 20;
constexpr size_t kDelayDescriptorSize = 32;
// More DLLs than any image imports: a table that does not end by then is malformed.
constexpr size_t kMaxTableEntries = 4096;

[[noreturn]] void Malformed(const std::string& what) {
    throw std::runtime_error("malformed PE image: " + what);
}

void CheckRange(const std::string& bytes, size_t offset, size_t length) {
    if (offset > bytes.size() || bytes.size() - offset < length)
        Malformed("an access to " + std::to_string(length) + " bytes at " + std::to_string(offset) +
                  ", beyond the end of " + std::to_string(bytes.size()));
}

} // namespace

uint16_t GetU16(const std::string& bytes, size_t offset) {
    CheckRange(bytes, offset, 2);
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[offset]) |
                                 static_cast<uint8_t>(bytes[offset + 1]) << 8);
}

uint32_t GetU32(const std::string& bytes, size_t offset) {
    return GetU16(bytes, offset) | static_cast<uint32_t>(GetU16(bytes, offset + 2)) << 16;
}

void PutU16(std::string& bytes, size_t offset, uint16_t value) {
    CheckRange(bytes, offset, 2);
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>(value >> 8);
}

void PutU32(std::string& bytes, size_t offset, uint32_t value) {
    PutU16(bytes, offset, static_cast<uint16_t>(value));
    PutU16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

PeFile::PeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ReadHeaders();
}

PeFile PeFile::FromBytes(std::string bytes) {
    PeFile file;
    file.bytes_ = std::move(bytes);
    file.ReadHeaders();
    return file;
}

void PeFile::ReadHeaders() {
    if (GetU16(bytes_, 0) != 0x5A4D)
        Malformed("no MZ header");
    const size_t pe = GetU32(bytes_, 0x3C);
    if (GetU32(bytes_, pe) != 0x00004550)
        Malformed("no PE signature");
    fileHeader_ = pe + 4;
    optional_ = fileHeader_ + 20;
    const uint16_t magic = GetU16(bytes_, optional_);
    if (magic != 0x10B && magic != 0x20B)
        Malformed("an unknown optional header magic");
    sectionTable_ = optional_ + GetU16(bytes_, fileHeader_ + 16);
}

std::pair<uint32_t, uint32_t> PeFile::Directory(unsigned index) const {
    if (index >= GetU32(bytes_, DirectoryCountField()))
        return {0, 0};
    return {GetU32(bytes_, DirectoryField(index)), GetU32(bytes_, DirectoryField(index) + 4)};
}

// Through the section table, checking that the length asked for lies in the section's data.
size_t PeFile::OffsetOfRva(uint32_t rva, uint32_t length, size_t* sectionHeader) const {
    const uint16_t sections = GetU16(bytes_, fileHeader_ + 2);
    for (size_t i = 0; i < sections; ++i) {
        const size_t header = sectionTable_ + 40 * i;
        const uint32_t start = GetU32(bytes_, header + 12), rawSize = GetU32(bytes_, header + 16);
        const uint32_t rawOffset = GetU32(bytes_, header + 20);
        if (rva < start || rva - start >= rawSize)
            continue;
        const uint32_t within = rva - start;
        if (rawSize - within < length || size_t{rawOffset} + rawSize > bytes_.size())
            Malformed("data that runs past its section");
        if (sectionHeader)
            *sectionHeader = header;
        return size_t{rawOffset} + within;
    }
    Malformed("an address outside every section");
}

std::string PeFile::StringAt(uint32_t rva) const {
    const size_t start = OffsetOfRva(rva, 1);
    const size_t end = bytes_.find('\0', start);
    if (end == std::string::npos)
        Malformed("a name without its terminator");
    return bytes_.substr(start, end - start);
}

std::vector<std::string> PeFile::FunctionNames(uint32_t thunksRva) const {
    std::vector<std::string> names;
    const bool pe32Plus = IsPe32Plus();
    const uint32_t thunkSize = pe32Plus ? 8 : 4;
    for (size_t i = 0; i < kMaxTableEntries; ++i) {
        const size_t offset =
            OffsetOfRva(static_cast<uint32_t>(thunksRva + i * thunkSize), thunkSize);
        const uint32_t low = GetU32(bytes_, offset);
        const uint32_t high = pe32Plus ? GetU32(bytes_, offset + 4) : 0;
        if (low == 0 && high == 0)
            return names;
        const bool byOrdinal = ((pe32Plus ? high : low) & 0x80000000u) != 0;
        names.push_back(byOrdinal ? "#" + std::to_string(low & 0xFFFF) : StringAt(low + 2));
    }
    Malformed("an import name table without its end");
}

void PeFile::ForEachDescriptor(unsigned directory, uint32_t descriptorSize, size_t most,
                               const std::function<bool(size_t)>& read,
                               const std::string& unended) const {
    const auto [rva, size] = Directory(directory);
    if (rva == 0 || size == 0)
        return;
    for (size_t i = 0; i < (most != 0 ? most : size / descriptorSize); ++i)
        if (!read(OffsetOfRva(static_cast<uint32_t>(rva + i * descriptorSize), descriptorSize)))
            return;
    Malformed(unended);
}

std::vector<ImportedDll> PeFile::Imports() const {
    std::vector<ImportedDll> dlls;
    ForEachDescriptor(
        kImportEntry, kImportDescriptorSize, kMaxTableEntries,
        [&](size_t entry) {
            const uint32_t names = GetU32(bytes_, entry), dllName = GetU32(bytes_, entry + 12);
            const uint32_t addresses = GetU32(bytes_, entry + 16);
            if (names == 0 && dllName == 0 && addresses == 0)
                return false;
            dlls.push_back({StringAt(dllName), FunctionNames(names != 0 ? names : addresses)});
            return true;
        },
        "an import table without its end");
    return dlls;
}

// A delay-import table ends with an empty descriptor within its directory's size.
std::vector<ImportedDll> PeFile::DelayImports() const {
    std::vector<ImportedDll> dlls;
    ForEachDescriptor(
        kDelayImportEntry, kDelayDescriptorSize, 0,
        [&](size_t entry) {
            const uint32_t dllName = GetU32(bytes_, entry + 4), names = GetU32(bytes_, entry + 16);
            if (dllName == 0)
                return false;
            // Attribute 1 says the fields are RVAs; the older form holds addresses instead.
            if (GetU32(bytes_, entry) != 1)
                Malformed("a delay-import descriptor that is not RVA-based");
            dlls.push_back({StringAt(dllName), FunctionNames(names)});
            return true;
        },
        "a delay-import table without its empty last descriptor");
    return dlls;
}

std::vector<size_t> PeFile::ResourceEntries(size_t directory) const {
    const size_t count = size_t{GetU16(bytes_, directory + 12)} + GetU16(bytes_, directory + 14);
    std::vector<size_t> entries;
    for (size_t i = 0; i < count; ++i)
        entries.push_back(directory + 16 + 8 * i);
    return entries;
}

size_t PeFile::ResourceEntry(size_t directory, uint32_t id) const {
    for (const size_t entry : ResourceEntries(directory)) {
        if (GetU32(bytes_, entry) == id)
            return entry;
    }
    return 0;
}

// An entry's target: a subdirectory or a data entry, counted from the root of the tree.
size_t PeFile::ResourceTarget(size_t root, size_t entry, bool wantDirectory) const {
    const uint32_t target = GetU32(bytes_, entry + 4);
    if (((target & 0x80000000u) != 0) != wantDirectory)
        Malformed("a resource entry of the wrong kind");
    return root + (target & 0x7FFFFFFFu);
}

std::optional<ResourcePlace> PeFile::LocateType(uint32_t type) const {
    const uint32_t rva = Directory(kResourceEntry).first;
    if (rva == 0)
        return std::nullopt;
    ResourcePlace place;
    place.typeDirectory = OffsetOfRva(rva, 16, &place.resourceSection);
    place.resourceSectionEnd = size_t{GetU32(bytes_, place.resourceSection + 20)} +
                               GetU32(bytes_, place.resourceSection + 16);
    place.typeEntry = ResourceEntry(place.typeDirectory, type);
    if (place.typeEntry == 0)
        return std::nullopt;
    place.nameDirectory = ResourceTarget(place.typeDirectory, place.typeEntry, true);
    return place;
}

std::optional<ResourcePlace> PeFile::LocateResource(uint32_t type, uint32_t id) const {
    std::optional<ResourcePlace> place = LocateType(type);
    const size_t name = place ? ResourceEntry(place->nameDirectory, id) : 0;
    if (name == 0)
        return std::nullopt;
    place->languageDirectory = ResourceTarget(place->typeDirectory, name, true);
    const std::vector<size_t> languages = ResourceEntries(place->languageDirectory);
    if (languages.empty())
        Malformed("a resource without data");
    place->dataEntry = ResourceTarget(place->typeDirectory, languages.front(), false);
    place->dataSize = GetU32(bytes_, place->dataEntry + 4);
    place->data =
        OffsetOfRva(GetU32(bytes_, place->dataEntry), static_cast<uint32_t>(place->dataSize));
    return place;
}

std::vector<uint32_t> PeFile::ResourceIds(uint32_t type) const {
    std::vector<uint32_t> ids;
    if (const auto place = LocateType(type)) {
        for (const size_t entry : ResourceEntries(place->nameDirectory))
            ids.push_back(GetU32(bytes_, entry));
    }
    return ids;
}

std::string PeFile::Resource(uint32_t type, uint32_t id) const {
    const auto place = LocateResource(type, id);
    return place ? bytes_.substr(place->data, place->dataSize) : std::string();
}

bool PeFile::FindLayout(PeLayout& layout) const {
    const auto place = LocateResource(kRtVersion, 1);
    if (!place)
        return false;
    static_cast<ResourcePlace&>(layout) = *place;
    layout.newHeaderField = 0x3C;
    layout.sectionCountField = fileHeader_ + 2;
    layout.optionalSizeField = fileHeader_ + 16;
    layout.optionalMagicField = optional_;
    layout.directoryCountField = DirectoryCountField();
    layout.resourceRvaField = DirectoryField(kResourceEntry);
    layout.resourceSizeField = layout.resourceRvaField + 4;
    return true;
}

bool FindPeLayout(const std::string& image, PeLayout& layout) {
    try {
        return PeFile::FromBytes(image).FindLayout(layout);
    } catch (const std::runtime_error&) {
        return false;
    }
}

} // namespace testing_support
