#include "pe_layout.h"

namespace testing_support {

namespace {

// Tree nodes lie on 32-bit boundaries counted from the start of the tree.
size_t Align4(size_t offset, size_t tree) {
    return tree + ((offset - tree + 3) & ~size_t{3});
}

// Maps an RVA to its file offset through the section table; 0 when no section holds it.
size_t FileOffsetOf(const std::string& image, size_t sectionTable, int sections, uint32_t rva,
                    size_t* header = nullptr) {
    for (int i = 0; i < sections; ++i) {
        const size_t at = sectionTable + 40 * static_cast<size_t>(i);
        const uint32_t start = GetU32(image, at + 12), rawSize = GetU32(image, at + 16);
        if (rva >= start && rva < start + rawSize) {
            if (header)
                *header = at;
            return GetU32(image, at + 20) + (rva - start);
        }
    }
    return 0;
}

std::string AsciiKey(const std::string& image, size_t offset) {
    std::string key;
    for (; GetU16(image, offset) != 0; offset += 2)
        key.push_back(static_cast<char>(GetU16(image, offset)));
    return key;
}

// The child of the node at offset whose key is the one asked for; 0 when there is none.
size_t FindChildNode(const std::string& image, size_t tree, size_t node, const std::string& key) {
    const size_t end = node + GetU16(image, node);
    const size_t keyEnd = node + 6 + 2 * (AsciiKey(image, node + 6).size() + 1);
    const size_t valueBytes =
        size_t{GetU16(image, node + 2)} * (GetU16(image, node + 4) == 1 ? 2 : 1);
    for (size_t child = Align4(Align4(keyEnd, tree) + valueBytes, tree); child + 6 <= end;) {
        const uint16_t length = GetU16(image, child);
        if (length == 0)
            return 0;
        if (AsciiKey(image, child + 6) == key)
            return child;
        child = Align4(child + length, tree);
    }
    return 0;
}

} // namespace

uint16_t GetU16(const std::string& bytes, size_t offset) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes.at(offset)) |
                                 static_cast<uint8_t>(bytes.at(offset + 1)) << 8);
}

uint32_t GetU32(const std::string& bytes, size_t offset) {
    return GetU16(bytes, offset) | static_cast<uint32_t>(GetU16(bytes, offset + 2)) << 16;
}

void PutU16(std::string& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<char>(value & 0xFF);
    bytes.at(offset + 1) = static_cast<char>(value >> 8);
}

void PutU32(std::string& bytes, size_t offset, uint32_t value) {
    PutU16(bytes, offset, static_cast<uint16_t>(value));
    PutU16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

bool FindPeLayout(const std::string& image, PeLayout& l) {
    if (image.size() < 64 || image.compare(0, 2, "MZ") != 0)
        return false;
    const size_t pe = GetU32(image, l.newHeaderField);
    l.sectionCountField = pe + 6;
    l.optionalSizeField = pe + 20;
    l.optionalMagicField = pe + 24;
    const size_t directories = l.optionalMagicField + (GetU16(image, pe + 24) == 0x20B ? 112 : 96);
    l.directoryCountField = directories - 4;
    l.resourceRvaField = directories + 16;
    l.resourceSizeField = directories + 20;
    const size_t sectionTable = l.optionalMagicField + GetU16(image, l.optionalSizeField);
    const int sections = GetU16(image, l.sectionCountField);
    l.typeDirectory = FileOffsetOf(image, sectionTable, sections, GetU32(image, l.resourceRvaField),
                                   &l.resourceSection);
    if (l.typeDirectory == 0)
        return false;
    l.resourceSectionEnd =
        GetU32(image, l.resourceSection + 20) + GetU32(image, l.resourceSection + 16);
    const size_t idEntries = l.typeDirectory + 16 + size_t{8} * GetU16(image, l.typeDirectory + 12);
    for (size_t i = 0; i < GetU16(image, l.typeDirectory + 14); ++i) {
        if (GetU32(image, idEntries + 8 * i) == 16)
            l.versionTypeEntry = idEntries + 8 * i;
    }
    if (l.versionTypeEntry == 0)
        return false;
    l.nameDirectory = l.typeDirectory + (GetU32(image, l.versionTypeEntry + 4) & 0x7FFFFFFF);
    l.languageDirectory = l.typeDirectory + (GetU32(image, l.nameDirectory + 20) & 0x7FFFFFFF);
    l.dataEntry = l.typeDirectory + GetU32(image, l.languageDirectory + 20);
    l.data = FileOffsetOf(image, sectionTable, sections, GetU32(image, l.dataEntry));
    l.dataSize = GetU32(image, l.dataEntry + 4);
    return l.data != 0;
}

std::vector<size_t> VersionNodePath(const std::string& image, const PeLayout& layout,
                                    const std::vector<std::string>& keys) {
    std::vector<size_t> path = {layout.data};
    for (const std::string& key : keys) {
        const size_t child = FindChildNode(image, layout.data, path.back(), key);
        if (child == 0)
            break;
        path.push_back(child);
    }
    return path;
}

} // namespace testing_support
