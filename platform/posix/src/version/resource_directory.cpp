#include "version/resource_directory.h"
#include "version/bounded_reader.h"

#include <algorithm>

namespace posix {

namespace {

constexpr uint32_t kVersionType = 16; // RT_VERSION
constexpr uint32_t kVersionName = 1;  // VS_VERSION_INFO
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000; // a named entry, or an entry leading to a directory

// The languages a neutral request tries, in this order, before it takes the first there is:
// neutral, the user's languages, English (US). The Linux build's user has one language, English
// (US), the language of its messages, which Windows follows with its parent, English (0x0009).
constexpr uint16_t kNeutral = 0x0000;
constexpr uint16_t kUserLanguage = 0x0409;
constexpr uint16_t kUserLanguageParent = 0x0009;
constexpr uint16_t kEnglishUs = 0x0409;
constexpr uint16_t kLanguagesTried[] = {kNeutral, kUserLanguage, kUserLanguageParent, kEnglishUs};

struct Entry {
    uint32_t name = 0;
    uint32_t target = 0;
};

// A directory table: its named entries first, then its numbered ones, sorted by number.
struct Directory {
    uint32_t offset = 0;
    uint16_t named = 0;
    uint16_t numbered = 0;
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

    DWORD Open(uint32_t offset, Directory& directory) const;
    DWORD ReadEntry(const Directory& directory, size_t index, Entry& entry) const;
    DWORD FindId(const Directory& directory, uint32_t id, bool& found, Entry& entry) const;

  private:
    const ImageSource& source_;
    FileRange directory_;
};

// Reads a table's counts; a table whose entries would not all lie within the resource
// directory is refused, so that no count it claims can make a lookup read outside it.
DWORD DirectoryReader::Open(uint32_t offset, Directory& directory) const {
    std::vector<BYTE> bytes;
    if (DWORD error = Read(offset, kDirectoryHeaderSize, bytes))
        return error;
    const ByteView header(bytes.data(), bytes.size());
    directory.offset = offset;
    if (!header.ReadU16(12, directory.named) || !header.ReadU16(14, directory.numbered))
        return ERROR_BAD_FORMAT;
    const uint64_t entries = uint64_t{directory.named} + directory.numbered;
    return InBounds(uint64_t{offset} + kDirectoryHeaderSize, entries * kEntrySize, directory_.size)
               ? ERROR_SUCCESS
               : ERROR_BAD_FORMAT;
}

DWORD DirectoryReader::ReadEntry(const Directory& directory, size_t index, Entry& entry) const {
    std::vector<BYTE> bytes;
    const uint64_t at = uint64_t{directory.offset} + kDirectoryHeaderSize + index * kEntrySize;
    if (DWORD error = Read(at, kEntrySize, bytes))
        return error;
    const ByteView view(bytes.data(), bytes.size());
    return view.ReadU32(0, entry.name) && view.ReadU32(4, entry.target) ? ERROR_SUCCESS
                                                                        : ERROR_BAD_FORMAT;
}

// Looks the number up by halving, as Windows does: at most 17 entries are read, however many
// the table claims, and a table out of order misses what Windows misses too.
DWORD DirectoryReader::FindId(const Directory& directory, uint32_t id, bool& found,
                              Entry& entry) const {
    size_t low = directory.named, high = size_t{directory.named} + directory.numbered;
    found = false;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (DWORD error = ReadEntry(directory, middle, entry))
            return error;
        if (entry.name == id) {
            found = true;
            return ERROR_SUCCESS;
        }
        if (entry.name < id)
            low = middle + 1;
        else
            high = middle;
    }
    return ERROR_SUCCESS;
}

// The table an entry leads to; a table that leads back to itself or to one above it would make
// the walk go round, so it is refused.
DWORD EnterDirectory(const DirectoryReader& reader, const Entry& entry, std::vector<uint32_t>& path,
                     Directory& directory) {
    if (!(entry.target & kHighBit))
        return ERROR_BAD_FORMAT;
    const uint32_t offset = entry.target & ~kHighBit;
    if (std::find(path.begin(), path.end(), offset) != path.end())
        return ERROR_BAD_FORMAT;
    path.push_back(offset);
    return reader.Open(offset, directory);
}

// The entry numbered id of the table, which leads to the next table down.
DWORD EnterNumbered(const DirectoryReader& reader, uint32_t id, DWORD errorWhenMissing,
                    std::vector<uint32_t>& path, Directory& directory) {
    bool found = false;
    Entry entry;
    if (DWORD error = reader.FindId(directory, id, found, entry))
        return error;
    if (!found)
        return errorWhenMissing;
    return EnterDirectory(reader, entry, path, directory);
}

// The language a neutral request gets: the first of the languages tried that the table has,
// or else its first entry.
DWORD ChooseLanguage(const DirectoryReader& reader, const Directory& languages, Entry& chosen) {
    for (const uint16_t language : kLanguagesTried) {
        bool found = false;
        if (DWORD error = reader.FindId(languages, language, found, chosen))
            return error;
        if (found)
            return ERROR_SUCCESS;
    }
    if (languages.named == 0 && languages.numbered == 0)
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    return reader.ReadEntry(languages, 0, chosen);
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
    Directory directory;
    Entry language;
    if (DWORD error = reader.Open(0, directory))
        return error;
    if (DWORD error =
            EnterNumbered(reader, kVersionType, ERROR_RESOURCE_TYPE_NOT_FOUND, path, directory))
        return error;
    if (DWORD error =
            EnterNumbered(reader, kVersionName, ERROR_RESOURCE_NAME_NOT_FOUND, path, directory))
        return error;
    if (DWORD error = ChooseLanguage(reader, directory, language))
        return error;
    return ReadDataEntry(reader, image, language, data);
}

} // namespace posix
