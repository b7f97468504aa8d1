#include "version_corruptions.h"

#include "pe_version.h"

namespace testing_support {

namespace {

// The nodes on the way to ProductVersion: root, StringFileInfo, the table, the string.
std::vector<size_t> ProductVersionPath(const std::string& image, const PeLayout& l) {
    return VersionNodePath(image, l, {"StringFileInfo", "040904b0", "ProductVersion"});
}

size_t NodeEnd(const std::string& image, size_t node) {
    return node + GetU16(image, node);
}

} // namespace

const std::vector<VersionCorruption>& VersionCorruptions() {
    using L = const PeLayout&;
    static const std::vector<VersionCorruption> list = {
        {"e_lfanew past the end",
         [](std::string& b, L l) { PutU32(b, l.newHeaderField, 0xFFFFFFF0); }, kBadFormat},
        {"e_lfanew at the last bytes",
         [](std::string& b, L l) {
             PutU32(b, l.newHeaderField, static_cast<uint32_t>(b.size() - 2));
         },
         kBadFormat},
        {"section count huge", [](std::string& b, L l) { PutU16(b, l.sectionCountField, 0xFFFF); },
         kBadFormat},
        {"section count zero", [](std::string& b, L l) { PutU16(b, l.sectionCountField, 0); },
         kBadFormat},
        {"optional header size huge",
         [](std::string& b, L l) { PutU16(b, l.optionalSizeField, 0xFFFF); }, kBadFormat},
        {"optional header too short for its directories",
         [](std::string& b, L l) { PutU16(b, l.optionalSizeField, 16); }, kBadFormat},
        {"optional header of no known kind",
         [](std::string& b, L l) { PutU16(b, l.optionalMagicField, 0x107); }, kBadFormat},
        {"resource directory outside every section",
         [](std::string& b, L l) { PutU32(b, l.resourceRvaField, 0x7FFFFFF0); }, kBadFormat},
        // The loader does not look at the directory's size.
        {"resource directory size past its section",
         [](std::string& b, L l) { PutU32(b, l.resourceSizeField, 0xFFFFFFFF); }, kSound, true},
        {"resource section data past the end of the file",
         [](std::string& b, L l) { PutU32(b, l.resourceSection + 20, 0xFFFFF000); }, kBadFormat},
        {"resource section sizes past the end of the file",
         [](std::string& b, L l) {
             PutU32(b, l.resourceSection + 8, 0x7FFFFFFF);
             PutU32(b, l.resourceSection + 16, 0x7FFFFFFF);
         },
         kBadFormat},
        // Mapped, the section is all zeroes: a resource directory without entries.
        {"resource section without file data",
         [](std::string& b, L l) { PutU32(b, l.resourceSection + 16, 0); }, kTypeNotFound},
        {"resource section moved away",
         [](std::string& b, L l) {
             PutU32(b, l.resourceSection + 12, GetU32(b, l.resourceSection + 12) + 0x100000);
         },
         kBadFormat},
        {"named types counted past the directory",
         [](std::string& b, L l) { PutU16(b, l.typeDirectory + 12, 0xFFFF); }, kBadFormat},
        {"numbered types counted past the directory",
         [](std::string& b, L l) { PutU16(b, l.typeDirectory + 14, 0xFFFF); }, kBadFormat},
        {"no version type", [](std::string& b, L l) { PutU32(b, l.typeEntry, 17); }, kTypeNotFound},
        {"version type leads outside the directory",
         [](std::string& b, L l) { PutU32(b, l.typeEntry + 4, 0xFFFFFFF0); }, kBadFormat},
        {"version type leads back to the type directory",
         [](std::string& b, L l) { PutU32(b, l.typeEntry + 4, 0x80000000); }, kBadFormat},
        {"version type leads to data, not a directory",
         [](std::string& b, L l) {
             PutU32(b, l.typeEntry + 4, GetU32(b, l.typeEntry + 4) & 0x7FFFFFFF);
         },
         kBadFormat},
        {"no name under the version type",
         [](std::string& b, L l) { PutU32(b, l.nameDirectory + 12, 0); }, kNameNotFound},
        {"name leads to its own directory",
         [](std::string& b, L l) {
             PutU32(b, l.nameDirectory + 20,
                    0x80000000 | static_cast<uint32_t>(l.nameDirectory - l.typeDirectory));
         },
         kBadFormat},
        {"name leads outside the directory",
         [](std::string& b, L l) { PutU32(b, l.nameDirectory + 20, 0xFFFFFFF0); }, kBadFormat},
        {"names counted past the directory",
         [](std::string& b, L l) { PutU16(b, l.nameDirectory + 14, 0xFFFF); }, kBadFormat},
        {"version resource numbered 2",
         [](std::string& b, L l) { PutU32(b, l.nameDirectory + 16, 2); }, kNameNotFound},
        {"languages counted past the directory",
         [](std::string& b, L l) { PutU16(b, l.languageDirectory + 14, 0xFFFF); }, kBadFormat},
        {"no language under the name",
         [](std::string& b, L l) { PutU32(b, l.languageDirectory + 12, 0); }, kLanguageNotFound},
        // An entry that leads to a table where data is wanted counts as missing.
        {"language leads back to the type directory",
         [](std::string& b, L l) { PutU32(b, l.languageDirectory + 20, 0x80000000); },
         kLanguageNotFound},
        {"language leads outside the directory",
         [](std::string& b, L l) { PutU32(b, l.languageDirectory + 20, 0x7FFFFFF0); }, kBadFormat},
        {"resource data outside every section",
         [](std::string& b, L l) { PutU32(b, l.dataEntry, 0x7FFFFF00); }, kBadFormat},
        {"resource data size past its section",
         [](std::string& b, L l) { PutU32(b, l.dataEntry + 4, 0xFFFFFFFF); }, kBadFormat},
        {"resource data shorter than a node",
         [](std::string& b, L l) { PutU32(b, l.dataEntry + 4, 4); }, kBadFormat},
        {"resource data shorter than the tree",
         [](std::string& b, L l) { PutU32(b, l.dataEntry + 4, GetU16(b, l.data) - 1); },
         kBadFormat},
        {"root wLength 0", [](std::string& b, L l) { PutU16(b, l.data, 0); }, kBadFormat},
        {"root wLength past the resource data",
         [](std::string& b, L l) { PutU16(b, l.data, 0xFFFF); }, kBadFormat},
        {"StringFileInfo longer than the root has left",
         [](std::string& b, L l) {
             const auto p = ProductVersionPath(b, l);
             PutU16(b, p[1], static_cast<uint16_t>(NodeEnd(b, p[0]) - p[1] + 4));
         },
         kSound},
        {"table longer than StringFileInfo has left",
         [](std::string& b, L l) {
             const auto p = ProductVersionPath(b, l);
             PutU16(b, p[2], static_cast<uint16_t>(NodeEnd(b, p[1]) - p[2] + 2));
         },
         kSound, true},
        {"ProductVersion shorter than a node header",
         [](std::string& b, L l) { PutU16(b, ProductVersionPath(b, l)[3], 4); }, kSound},
        {"ProductVersion key without a terminator",
         [](std::string& b, L l) {
             const size_t n = ProductVersionPath(b, l)[3];
             for (size_t at = n + 6; at + 1 < NodeEnd(b, n); at += 2)
                 PutU16(b, at, 'X');
         },
         kSound},
        // Any type but binary (0) is text to Windows.
        {"ProductVersion neither text nor binary",
         [](std::string& b, L l) { PutU16(b, ProductVersionPath(b, l)[3] + 4, 7); }, kSound, true},
        {"ProductVersion wLength 0 ends the table",
         [](std::string& b, L l) { PutU16(b, ProductVersionPath(b, l)[3], 0); }, kSound},
        {"table wLength 0 ends StringFileInfo",
         [](std::string& b, L l) { PutU16(b, ProductVersionPath(b, l)[2], 0); }, kSound},
    };
    return list;
}

} // namespace testing_support
