#include "resource_directory.h"
#include "bounded_reader.h"

#include <algorithm>

namespace posix {

namespace {

constexpr uint32_t kVersionType = 16; // RT_VERSION
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000; // a named entry, or an entry leading to a directory
// Windows keeps numbered entries sorted, so type 16 is among the first 17 of a well-formed
// list; looking no further than this bounds the read whatever the directory claims.
constexpr size_t kMaxTypeEntries = 256;

struct Entry {
    uint32_t name = 0;
    uint32_t target = 0;
};

class DirectoryReader {
  public:
    DirectoryReader(const ImageSource& source, const FileRange& directory)
        : source_(source), directory_(directory) {}

    // Reads bytes of the resource directory, never outside it.
    DWORD Read(uint64_t offset, size_t length, std::vector<BYTE>& bytes) const {
        if (!InBounds(offset, length, directory_.size))
            return ERROR_BAD_FORMAT;
        return source_.Read(directory_.offset + offset, length, bytes);
    }

    DWORD FindId(uint32_t directory, uint32_t id, Entry& found) const;
    DWORD First(uint32_t directory, DWORD errorWhenEmpty, Entry& first) const;

  private:
    DWORD ReadCounts(uint32_t directory, uint16_t& named, uint16_t& ids) const;

    const ImageSource& source_;
    FileRange directory_;
};

DWORD DirectoryReader::ReadCounts(uint32_t directory, uint16_t& named, uint16_t& ids) const {
    std::vector<BYTE> bytes;
    if (DWORD error = Read(directory, kDirectoryHeaderSize, bytes))
        return error;
    const ByteView header(bytes.data(), bytes.size());
    return header.ReadU16(12, named) && header.ReadU16(14, ids) ? ERROR_SUCCESS : ERROR_BAD_FORMAT;
}

DWORD DirectoryReader::FindId(uint32_t directory, uint32_t id, Entry& found) const {
    uint16_t named = 0, ids = 0;
    if (DWORD error = ReadCounts(directory, named, ids))
        return error;
    // Named entries come first; numbered ones follow them.
    const uint64_t first =
        uint64_t{directory} + kDirectoryHeaderSize + uint64_t{named} * kEntrySize;
    const size_t count = std::min<size_t>(ids, kMaxTypeEntries);
    std::vector<BYTE> bytes;
    if (DWORD error = Read(first, count * kEntrySize, bytes))
        return error;
    const ByteView entries(bytes.data(), bytes.size());
    for (size_t i = 0; i < count; ++i) {
        Entry entry;
        if (!entries.ReadU32(i * kEntrySize, entry.name) ||
            !entries.ReadU32(i * kEntrySize + 4, entry.target))
            return ERROR_BAD_FORMAT;
        if (entry.name == id) {
            found = entry;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
}

DWORD DirectoryReader::First(uint32_t directory, DWORD errorWhenEmpty, Entry& first) const {
    uint16_t named = 0, ids = 0;
    if (DWORD error = ReadCounts(directory, named, ids))
        return error;
    if (named == 0 && ids == 0)
        return errorWhenEmpty;
    std::vector<BYTE> bytes;
    if (DWORD error = Read(uint64_t{directory} + kDirectoryHeaderSize, kEntrySize, bytes))
        return error;
    const ByteView entry(bytes.data(), bytes.size());
    return entry.ReadU32(0, first.name) && entry.ReadU32(4, first.target) ? ERROR_SUCCESS
                                                                          : ERROR_BAD_FORMAT;
}

// The directory an entry leads to; a directory that leads back to itself or to one above it
// would make the walk go round, so it is refused.
DWORD EnterDirectory(const Entry& entry, std::vector<uint32_t>& path, uint32_t& directory) {
    if (!(entry.target & kHighBit))
        return ERROR_BAD_FORMAT;
    directory = entry.target & ~kHighBit;
    if (std::find(path.begin(), path.end(), directory) != path.end())
        return ERROR_BAD_FORMAT;
    path.push_back(directory);
    return ERROR_SUCCESS;
}

DWORD ReadDataEntry(const DirectoryReader& reader, const PeImage& image, const Entry& language,
                    FileRange& data) {
    if (language.target & kHighBit)
        return ERROR_BAD_FORMAT;
    std::vector<BYTE> bytes;
    if (DWORD error = reader.Read(language.target, kDataEntrySize, bytes))
        return error;
    const ByteView entry(bytes.data(), bytes.size());
    uint32_t rva = 0, size = 0;
    if (!entry.ReadU32(0, rva) || !entry.ReadU32(4, size) || !image.MapRva(rva, size, data))
        return ERROR_BAD_FORMAT;
    return ERROR_SUCCESS;
}

} // namespace

DWORD FindVersionData(const ImageSource& source, const PeImage& image, FileRange& data) {
    const DirectoryReader reader(source, image.ResourceDirectory());
    std::vector<uint32_t> path = {0};
    Entry type, name, language;
    uint32_t names = 0, languages = 0;
    if (DWORD error = reader.FindId(0, kVersionType, type))
        return error;
    if (DWORD error = EnterDirectory(type, path, names))
        return error;
    if (DWORD error = reader.First(names, ERROR_RESOURCE_NAME_NOT_FOUND, name))
        return error;
    if (DWORD error = EnterDirectory(name, path, languages))
        return error;
    if (DWORD error = reader.First(languages, ERROR_RESOURCE_LANG_NOT_FOUND, language))
        return error;
    return ReadDataEntry(reader, image, language, data);
}

} // namespace posix
