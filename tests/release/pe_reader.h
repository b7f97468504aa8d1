// A reader of the parts of a PE image the release checks look at: the headers, the import and
// delay-import tables and the resource tree. Every read is checked against the file; anything
// malformed throws std::runtime_error, which fails the test that asked.
#ifndef DLLINSTALL_RELEASE_PE_READER_H
#define DLLINSTALL_RELEASE_PE_READER_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace release {

struct ImportedDll {
    std::string name;                   // as the table spells it
    std::vector<std::string> functions; // imported by name, in table order
};

class PeImage {
  public:
    explicit PeImage(const std::filesystem::path& file);

    uint16_t Machine() const { return machine_; }
    bool IsPe32Plus() const { return pe32Plus_; }
    uint16_t Subsystem() const { return subsystem_; }
    uint16_t DllCharacteristics() const { return dllCharacteristics_; }
    uint64_t ImageBase() const { return imageBase_; }
    uint32_t SizeOfImage() const { return sizeOfImage_; }

    // The RVA and size of a data directory entry; {0, 0} when the header has no such entry.
    std::pair<uint32_t, uint32_t> Directory(unsigned index) const;

    std::vector<ImportedDll> Imports() const;
    std::vector<ImportedDll> DelayImports() const;

    // The names (numeric ids) under a resource type, and the data of one of them in its first
    // language; a missing type or name gives an empty list or string.
    std::vector<uint32_t> ResourceIds(uint32_t type) const;
    std::string Resource(uint32_t type, uint32_t id) const;

  private:
    uint32_t Read32(size_t offset) const;
    uint16_t Read16(size_t offset) const;
    size_t OffsetOfRva(uint32_t rva, uint32_t length) const;
    std::string StringAt(uint32_t rva) const;
    std::vector<std::string> FunctionNames(uint32_t thunksRva) const;
    void ReadHeaders();
    // The entries of the resource directory at that offset in the resource section.
    std::vector<std::pair<uint32_t, uint32_t>> ResourceEntries(uint32_t directory) const;
    uint32_t ResourceChild(uint32_t directory, uint32_t id, bool wantDirectory) const;

    std::string bytes_;
    uint16_t machine_ = 0;
    bool pe32Plus_ = false;
    uint16_t subsystem_ = 0;
    uint16_t dllCharacteristics_ = 0;
    uint64_t imageBase_ = 0;
    uint32_t sizeOfImage_ = 0;
    size_t directoriesOffset_ = 0;
    uint32_t directoryCount_ = 0;
    struct Section {
        uint32_t rva, virtualSize, rawOffset, rawSize;
    };
    std::vector<Section> sections_;
};

} // namespace release

#endif
