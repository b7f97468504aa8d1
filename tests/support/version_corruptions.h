// Fixture DLLs corrupted one field at a time, along the way from the headers to the product
// version: the version reader's own test checks the layer's last error for each, and the
// differential test reads each on both builds.
#ifndef DLLINSTALL_TESTS_VERSION_CORRUPTIONS_H
#define DLLINSTALL_TESTS_VERSION_CORRUPTIONS_H

#include "pe_file.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// The last errors the layer's GetFileVersionInfoSizeA gives, as Windows numbers them.
constexpr uint32_t kSound = 0; // the root is sound: any failure comes with the queries
constexpr uint32_t kBadFormat = 11;
constexpr uint32_t kTypeNotFound = 1813;
constexpr uint32_t kNameNotFound = 1814;
constexpr uint32_t kLanguageNotFound = 1815;

struct VersionCorruption {
    const char* what;
    std::function<void(std::string& image, const PeLayout& l)> apply;
    uint32_t sizeError;
    bool readsVersion = false; // Windows still reads the product version through it
};

const std::vector<VersionCorruption>& VersionCorruptions();

} // namespace testing_support

#endif
