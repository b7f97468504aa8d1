// The version resource of a PE image, VS_VERSIONINFO: its fixed part and its string and
// translation values, and where its nodes lie in the file, read with every length checked
// against its parent.
#ifndef DLLINSTALL_TESTS_PE_VERSION_H
#define DLLINSTALL_TESTS_PE_VERSION_H

#include "pe_file.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct VersionResource {
    uint32_t signature = 0; // 0xFEEF04BD in a valid fixed part
    uint32_t fileVersionMs = 0, fileVersionLs = 0;
    uint32_t productVersionMs = 0, productVersionLs = 0;
    uint32_t fileOs = 0, fileType = 0;
    // "040904b0" -> {"ProductName" -> "dllinstall", ...}, values in UTF-8 without terminators.
    std::map<std::string, std::map<std::string, std::string>> stringTables;
    std::vector<uint32_t> translations; // language in the low word, code page in the high
};

// Throws std::runtime_error when the data is not a well-formed VS_VERSIONINFO.
VersionResource ParseVersionResource(const std::string& data);

// File offsets of the version tree's nodes along a path of keys from the root, the root first;
// shorter than the path when a key is missing. A malformed tree throws std::runtime_error.
std::vector<size_t> VersionNodePath(const std::string& image, const PeLayout& layout,
                                    const std::vector<std::string>& keys);

} // namespace testing_support

#endif
