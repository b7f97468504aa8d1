// What the differential test's generator writes: a version tree, a resource tree and the PE
// image around them, each stated as a plain description whose fields a mutation may falsify.
#ifndef DLLINSTALL_TESTS_GENERATED_IMAGE_H
#define DLLINSTALL_TESTS_GENERATED_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

namespace differential {

// A node of a VS_VERSIONINFO tree.
struct VersionNodeSpec {
    std::u16string key = {};
    uint16_t type = 1;         // 0 binary, 1 text; anything else as written
    std::string value = {};    // the value's bytes, a text's terminator included
    int valueLengthField = -1; // when set, written instead of the true count
    int lengthDelta = 0;       // added to the true wLength
    bool unterminatedKey = false;
    std::vector<VersionNodeSpec> children = {};
};

std::string WriteVersionTree(const VersionNodeSpec& root);

// An entry of a resource directory: a subdirectory, or the data numbered dataIndex.
struct ResourceEntrySpec {
    uint32_t id = 0;          // written as is, high bits and all, for an id entry
    std::u16string name = {}; // a named entry when not empty
    std::vector<ResourceEntrySpec> children = {};
    int dataIndex = -1;     // a data entry when set
    bool rawTarget = false; // the target written is targetField, pointing anywhere
    uint32_t targetField = 0;
};

struct ResourceData {
    std::string bytes = {};
    uint32_t sizeDelta = 0; // added to the size the data entry states
    bool inHeaders = false; // placed in the headers rather than in the resource section
};

struct ResourceTreeSpec {
    std::vector<ResourceEntrySpec> types = {};
    std::vector<ResourceData> data = {};
    bool unsorted = false; // id entries left in the order given rather than sorted
};

struct ImageSpec {
    bool pe32Plus = true;
    ResourceTreeSpec resources = {};
    // When cutData is set, the section's file data ends cutBack bytes before the end of that
    // data; what was written past it stays in the file, where the loader maps zeroes instead.
    int cutData = -1;
    uint32_t cutBack = 0;
};

std::string WriteImage(const ImageSpec& shape);

} // namespace differential

#endif
