// Records the delay-import descriptors of a mingw-w64 executable in its PE header.
//
// GNU ld (2.40) links the descriptors that dlltool's delay-load libraries bring but leaves the
// header's delay-import directory empty, so Windows tools would not see which DLLs load late.
// This host tool finds the descriptors in the linker's map file and fills the directory in.
//   set_delay_import_directory <executable> <map file>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kDescriptorSize = 32;   // ImgDelayDescr: eight 32-bit fields
constexpr uint32_t kDelayImportEntry = 13; // IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT
// dlltool's name for a descriptor, after the underscores that each target puts before it.
constexpr const char kDescriptorSymbol[] = "DELAY_IMPORT_DESCRIPTOR_";

using Bytes = std::vector<unsigned char>;

std::optional<uint32_t> Read32(const Bytes& image, size_t offset) {
    if (offset > image.size() || image.size() - offset < 4)
        return std::nullopt;
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | image[offset + i];
    return value;
}

std::optional<uint64_t> Read64(const Bytes& image, size_t offset) {
    const auto low = Read32(image, offset), high = Read32(image, offset + 4);
    if (!low || !high)
        return std::nullopt;
    return static_cast<uint64_t>(*high) << 32 | *low;
}

void Write32(Bytes& image, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        image[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

// The parts of the PE header the directory needs.
struct Header {
    uint64_t imageBase = 0;
    size_t directoryOffset = 0; // of entry 0 of the data directory
    size_t sectionsOffset = 0;
    uint32_t sectionCount = 0;
};

std::optional<Header> ReadHeader(const Bytes& image) {
    const auto peOffset = Read32(image, 0x3C);
    if (image.size() < 2 || image[0] != 'M' || image[1] != 'Z' || !peOffset ||
        Read32(image, *peOffset) != 0x00004550u)
        return std::nullopt;
    const size_t fileHeader = *peOffset + 4, optional = fileHeader + 20;
    const auto counts = Read32(image, fileHeader + 2), sizes = Read32(image, fileHeader + 16);
    const auto magic = Read32(image, optional);
    if (!counts || !sizes || !magic)
        return std::nullopt;
    const bool pe32Plus = (*magic & 0xFFFF) == 0x20B;
    const std::optional<uint64_t> imageBase =
        pe32Plus ? Read64(image, optional + 24)
                 : std::optional<uint64_t>(Read32(image, optional + 28));
    const size_t countOffset = optional + (pe32Plus ? 108 : 92);
    const auto directoryCount = Read32(image, countOffset);
    const size_t directoryOffset = countOffset + 4;
    if (!imageBase || !directoryCount || *directoryCount <= kDelayImportEntry ||
        !Read32(image, directoryOffset + kDelayImportEntry * 8 + 4))
        return std::nullopt;
    Header header;
    header.imageBase = *imageBase;
    header.directoryOffset = directoryOffset;
    header.sectionsOffset = optional + (*sizes & 0xFFFF);
    header.sectionCount = *counts & 0xFFFF;
    return header;
}

// The file offset of the bytes at an RVA, when a section holds that many of them in the file.
std::optional<size_t> FileOffsetOf(const Bytes& image, const Header& header, uint32_t rva,
                                   uint32_t length) {
    for (uint32_t i = 0; i < header.sectionCount; ++i) {
        const size_t entry = header.sectionsOffset + i * 40;
        const auto address = Read32(image, entry + 12), rawSize = Read32(image, entry + 16);
        const auto rawOffset = Read32(image, entry + 20);
        if (!address || !rawSize || !rawOffset)
            return std::nullopt;
        if (rva >= *address && rva - *address <= *rawSize && *rawSize - (rva - *address) >= length)
            return static_cast<size_t>(*rawOffset) + (rva - *address);
    }
    return std::nullopt;
}

bool NamesDescriptor(const std::string& symbol) {
    const size_t start = symbol.find_first_not_of('_');
    return start != std::string::npos &&
           symbol.compare(start, sizeof kDescriptorSymbol - 1, kDescriptorSymbol) == 0;
}

// The addresses the map gives the descriptor symbols, in the order the map lists them.
std::vector<uint64_t> DescriptorAddresses(std::istream& map) {
    std::vector<uint64_t> addresses;
    for (std::string line; std::getline(map, line);) {
        std::istringstream words(line);
        std::string address, symbol;
        if (words >> address >> symbol && address.rfind("0x", 0) == 0 && NamesDescriptor(symbol) &&
            !(words >> symbol))
            addresses.push_back(std::stoull(address, nullptr, 16));
    }
    return addresses;
}

bool Fail(const std::string& why) {
    std::fprintf(stderr, "set_delay_import_directory: %s\n", why.c_str());
    return false;
}

// Checks that the descriptors sit back to back and end with an all-zero one, as readers of
// the table expect, and returns the directory's RVA and size.
bool LocateTable(const Bytes& image, const Header& header, std::vector<uint64_t> addresses,
                 uint32_t& rva, uint32_t& size) {
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    for (size_t i = 1; i < addresses.size(); ++i) {
        if (addresses[i] != addresses[0] + i * kDescriptorSize)
            return Fail("the delay-import descriptors are not contiguous");
    }
    if (addresses[0] <= header.imageBase || addresses[0] - header.imageBase > UINT32_MAX)
        return Fail("a delay-import descriptor lies outside the image");
    rva = static_cast<uint32_t>(addresses[0] - header.imageBase);
    size = static_cast<uint32_t>((addresses.size() + 1) * kDescriptorSize);
    const auto offset = FileOffsetOf(image, header, rva, size);
    if (!offset)
        return Fail("the delay-import descriptors are not in the file");
    for (uint32_t i = size - kDescriptorSize; i < size; ++i) {
        if (image[*offset + i] != 0)
            return Fail("the delay-import descriptors do not end with an empty one");
    }
    return true;
}

bool SetDirectory(const std::string& executable, const std::string& mapFile) {
    std::ifstream map(mapFile);
    std::ifstream in(executable, std::ios::binary);
    if (!map || !in)
        return Fail("cannot read " + (map ? executable : mapFile));
    Bytes image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    const auto header = ReadHeader(image);
    if (!header)
        return Fail(executable + " is not a PE image with a delay-import directory entry");
    const std::vector<uint64_t> addresses = DescriptorAddresses(map);
    uint32_t rva = 0, size = 0;
    if (addresses.empty())
        return true; // nothing is delay-loaded, and an empty directory says so
    if (!LocateTable(image, *header, addresses, rva, size))
        return false;
    const size_t entry = header->directoryOffset + kDelayImportEntry * 8;
    Write32(image, entry, rva);
    Write32(image, entry + 4, size);
    std::ofstream out(executable, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    return out.good() || Fail("cannot write " + executable);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: set_delay_import_directory <executable> <map file>\n");
        return 2;
    }
    return SetDirectory(argv[1], argv[2]) ? 0 : 1;
}
