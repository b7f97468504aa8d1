// The tests' one reader of PE images: the headers, the import and delay-import tables, the
// resource tree, and the file offset of each field so that a test can corrupt one at a time.
// Every read goes through GetU16 and GetU32, which check it against the bytes; anything
// malformed throws std::runtime_error, which fails the test that asked.
#ifndef DLLINSTALL_TESTS_PE_FILE_H
#define DLLINSTALL_TESTS_PE_FILE_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Little-endian values at a file offset; a read or write past the end throws.
uint16_t GetU16(const std::string& bytes, size_t offset);
uint32_t GetU32(const std::string& bytes, size_t offset);
void PutU16(std::string& bytes, size_t offset, uint16_t value);
void PutU32(std::string& bytes, size_t offset, uint32_t value);

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kRtManifest = 24;

struct ImportedDll {
    std::string name;                   // as the table spells it
    std::vector<std::string> functions; // imported by name, in table order
};

// File offsets of the directories and entries that lead to one resource.
struct ResourcePlace {
    size_t resourceSection = 0;    // the section header holding the resources
    size_t resourceSectionEnd = 0; // just past that section's data in the file
    size_t typeDirectory = 0;      // the root of the tree
    size_t typeEntry = 0;          // name at +0, target at +4
    size_t nameDirectory = 0;
    size_t languageDirectory = 0;
    size_t dataEntry = 0; // RVA at +0, size at +4
    size_t data = 0;
    size_t dataSize = 0;
};

// File offsets of the header fields, and of the version resource (numbered 1, first language).
struct PeLayout : ResourcePlace {
    size_t newHeaderField = 0x3C; // e_lfanew
    size_t sectionCountField = 0;
    size_t optionalSizeField = 0;
    size_t optionalMagicField = 0;
    size_t directoryCountField = 0; // NumberOfRvaAndSizes
    size_t resourceRvaField = 0;
    size_t resourceSizeField = 0;
};

class PeFile {
  public:
    explicit PeFile(const std::filesystem::path& file);
    static PeFile FromBytes(std::string bytes);

    uint16_t Machine() const { return GetU16(bytes_, fileHeader_); }
    uint32_t TimeDateStamp() const { return GetU32(bytes_, fileHeader_ + 4); }
    bool IsPe32Plus() const { return GetU16(bytes_, optional_) == 0x20B; }
    uint16_t Subsystem() const { return GetU16(bytes_, optional_ + 68); }
    uint16_t DllCharacteristics() const { return GetU16(bytes_, optional_ + 70); }
    uint32_t SizeOfImage() const { return GetU32(bytes_, optional_ + 56); }

    // The RVA and size of a data directory entry; {0, 0} when the header has no such entry.
    std::pair<uint32_t, uint32_t> Directory(unsigned index) const;

    std::vector<ImportedDll> Imports() const;
    std::vector<ImportedDll> DelayImports() const;

    // The names (numeric ids) under a resource type, and the data of one of them in its first
    // language; a missing type or name gives an empty list or string.
    std::vector<uint32_t> ResourceIds(uint32_t type) const;
    std::string Resource(uint32_t type, uint32_t id) const;

    // Where the header fields lie, and the version resource; false when it has none.
    bool FindLayout(PeLayout& layout) const;

  private:
    PeFile() = default;
    void ReadHeaders();
    size_t DirectoryCountField() const { return optional_ + (IsPe32Plus() ? 108 : 92); }
    size_t DirectoryField(unsigned index) const { return DirectoryCountField() + 4 + 8 * index; }
    size_t OffsetOfRva(uint32_t rva, uint32_t length, size_t* sectionHeader = nullptr) const;
    std::string StringAt(uint32_t rva) const;
    std::vector<std::string> FunctionNames(uint32_t thunksRva) const;
    // Reads the descriptors of the table at the data directory until `read` says it met the
    // last one; the table is malformed (`unended`) past `most` of them, or with `most` 0 past
    // the directory's size.
    void ForEachDescriptor(unsigned directory, uint32_t descriptorSize, size_t most,
                           const std::function<bool(size_t)>& read,
                           const std::string& unended) const;
    // The place of a resource's name directory, or of the whole resource; none when missing.
    std::optional<ResourcePlace> LocateType(uint32_t type) const;
    std::optional<ResourcePlace> LocateResource(uint32_t type, uint32_t id) const;
    // The file offsets of a resource directory's entries, and the one with that id.
    std::vector<size_t> ResourceEntries(size_t directory) const;
    size_t ResourceEntry(size_t directory, uint32_t id) const;
    size_t ResourceTarget(size_t root, size_t entry, bool wantDirectory) const;

    std::string bytes_;
    size_t fileHeader_ = 0, optional_ = 0, sectionTable_ = 0;
};

// False when the bytes are not a PE image with a version resource.
bool FindPeLayout(const std::string& image, PeLayout& layout);

} // namespace testing_support

#endif
