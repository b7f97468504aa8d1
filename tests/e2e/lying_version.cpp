#include "lying_version.h"

#include "pe_file.h"
#include "pe_version.h"

#include <cstdint>

namespace e2e {

namespace {

using testing_support::PutU16;
using testing_support::PutU32;

std::string With(std::string bytes, size_t at, uint32_t value, int size) {
    if (size == 2)
        PutU16(bytes, at, static_cast<uint16_t>(value));
    else
        PutU32(bytes, at, value);
    return bytes;
}

} // namespace

std::vector<std::string> LyingVersionNames() {
    return {"root_length_huge",        "root_length_zero",         "root_value_length_huge",
            "string_length_huge",      "string_value_length_huge", "resource_size_huge",
            "resource_offset_outside", "cut_inside_version",       "cut_inside_headers"};
}

// Each variant changes one field: a node's wLength or wValueLength, the data entry's size or
// offset, or cuts the file short.
std::vector<std::pair<std::string, std::string>> LyingVersions(const std::string& dll) {
    testing_support::PeLayout layout;
    if (!testing_support::FindPeLayout(dll, layout))
        return {};
    const std::vector<size_t> path = testing_support::VersionNodePath(
        dll, layout, {"StringFileInfo", "040904b0", "ProductVersion"});
    if (path.size() != 4)
        return {};
    const size_t info = layout.data, product = path.back(), entry = layout.dataEntry;
    return {{"root_length_huge", With(dll, info, 0xFFFF, 2)},
            {"root_length_zero", With(dll, info, 0, 2)},
            {"root_value_length_huge", With(dll, info + 2, 0xFFFF, 2)},
            {"string_length_huge", With(dll, product, 0xFFFF, 2)},
            {"string_value_length_huge", With(dll, product + 2, 0xFFFF, 2)},
            {"resource_size_huge", With(dll, entry + 4, 0x7FFFFFFF, 4)},
            {"resource_offset_outside", With(dll, entry, 0x7FFFFFF0, 4)},
            {"cut_inside_version", dll.substr(0, info + 40)},
            {"cut_inside_headers", dll.substr(0, 300)}};
}

} // namespace e2e
