// Where the fields of a well-formed fixture DLL lie, found by the tests' own walk of its
// headers and resources, so that a test can corrupt one field at a time.
#ifndef DLLINSTALL_TESTS_PE_LAYOUT_H
#define DLLINSTALL_TESTS_PE_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// File offsets of fields and structures.
struct PeLayout {
    size_t newHeaderField = 0x3C; // e_lfanew
    size_t sectionCountField = 0;
    size_t optionalSizeField = 0;
    size_t optionalMagicField = 0;
    size_t directoryCountField = 0; // NumberOfRvaAndSizes
    size_t resourceRvaField = 0;
    size_t resourceSizeField = 0;
    size_t resourceSection = 0;    // the section header holding the resources
    size_t resourceSectionEnd = 0; // just past that section's data in the file
    size_t typeDirectory = 0;
    size_t versionTypeEntry = 0; // name at +0, target at +4
    size_t nameDirectory = 0;
    size_t languageDirectory = 0;
    size_t dataEntry = 0; // RVA at +0, size at +4
    size_t data = 0;      // the VS_VERSIONINFO tree
    size_t dataSize = 0;
};

// False when the bytes are not a PE image with a version resource.
bool FindPeLayout(const std::string& image, PeLayout& layout);

// File offsets of the version tree's nodes along a path of keys from the root, the root first;
// shorter than the path when a key is missing.
std::vector<size_t> VersionNodePath(const std::string& image, const PeLayout& layout,
                                    const std::vector<std::string>& keys);

uint16_t GetU16(const std::string& bytes, size_t offset);
uint32_t GetU32(const std::string& bytes, size_t offset);
void PutU16(std::string& bytes, size_t offset, uint16_t value);
void PutU32(std::string& bytes, size_t offset, uint32_t value);

} // namespace testing_support

#endif
