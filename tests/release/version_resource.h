// The contents of a VS_VERSIONINFO resource: the fixed part and the string and translation
// values, read with every length checked against its parent.
#ifndef DLLINSTALL_RELEASE_VERSION_RESOURCE_H
#define DLLINSTALL_RELEASE_VERSION_RESOURCE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace release {

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

} // namespace release

#endif
