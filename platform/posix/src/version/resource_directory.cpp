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
constexpr uint32_t kHighBit = 0x80000000; // an entry leading to a directory
// The loader finds an id by its 16 bits, whatever the entry's higher bits hold.
constexpr uint32_t kIdMask = 0xFFFF;

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
    DirectoryReader(const ImageSource& source, const PeImage& image)
        : source_(source), image_(image), directory_(image.ResourceDirectory()) {}

    // Reads bytes at an offset from the resource directory's start, as the loader does, within
    // the part of the image that holds its start; the size the headers state is not a bound.
    DWORD Read(uint64_t offset, size_t length, std::vector<BYTE>& bytes) const {
        if (!InBounds(uint64_t{directory_.rva} + offset, length, UINT32_MAX))
            return ERROR_BAD_FORMAT;
        return image_.ReadRva(source_, directory_.rva + static_cast<uint32_t>(offset),
                              static_cast<uint32_t>(length), bytes);
    }

    DWORD Open(uint32_t offset, Directory& directory) const;
    DWORD ReadEntry(const Directory& directory, size_t index, Entry& entry) const;
    DWORD FindId(const Directory& directory, uint32_t id, bool& found, Entry& entry) const;

  private:
    const ImageSource& source_;
    const PeImage& image_;
    RvaRange directory_;
};

// Reads a table's counts. Only the entries a lookup reads are checked, each as it is read, as
// the loader reads them: what the rest of the table holds does not matter.
DWORD DirectoryReader::Open(uint32_t offset, Directory& directory) const {
    std::vector<BYTE> bytes;
    if (DWORD error = Read(offset, kDirectoryHeaderSize, bytes))
        return error;
    const ByteView header(bytes.data(), bytes.size());
    directory.offset = offset;
    return header.ReadU16(12, directory.named) && header.ReadU16(14, directory.numbered)
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

// Looks the number up by halving, as the loader does: at most 17 entries are read, however many
// the table claims, and a table out of order misses what the loader misses too, the middle of
// an even run being its lower one.
DWORD DirectoryReader::FindId(const Directory& directory, uint32_t id, bool& found,
                              Entry& entry) const {
    size_t low = directory.named, high = size_t{directory.named} + directory.numbered;
    found = false;
    while (low < high) {
        const size_t middle = low + (high - low - 1) / 2;
        if (DWORD error = ReadEntry(directory, middle, entry))
            return error;
        const uint32_t entryId = entry.name & kIdMask;
        if (entryId == id) {
            found = true;
            return ERROR_SUCCESS;
        }
        if (entryId < id)
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

// The language a neutral request gets: the first of the languages tried that the table has as
// data, or else its first data entry; as the loader does, an entry that leads to a table where
// data is wanted counts as missing.
DWORD ChooseLanguage(const DirectoryReader& reader, const Directory& languages, Entry& chosen) {
    for (const uint16_t language : kLanguagesTried) {
        bool found = false;
        if (DWORD error = reader.FindId(languages, language, found, chosen))
            return error;
        if (found && !(chosen.target & kHighBit))
            return ERROR_SUCCESS;
    }
    const size_t count = size_t{languages.named} + languages.numbered;
    for (size_t i = 0; i < count; ++i) {
        if (DWORD error = reader.ReadEntry(languages, i, chosen))
            return error;
        if (!(chosen.target & kHighBit))
            return ERROR_SUCCESS;
    }
    return ERROR_RESOURCE_LANG_NOT_FOUND;
}

DWORD ReadDataEntry(const DirectoryReader& reader, const PeImage& image, const Entry& language,
                    RvaRange& data) {
    if (language.target & kHighBit)
        return ERROR_BAD_FORMAT;
    std::vector<BYTE> bytes;
    if (DWORD error = reader.Read(language.target, kDataEntrySize, bytes))
        return error;
    const ByteView entry(bytes.data(), bytes.size());
    if (!entry.ReadU32(0, data.rva) || !entry.ReadU32(4, data.size) ||
        !image.IsMapped(data.rva, data.size))
        return ERROR_BAD_FORMAT;
    return ERROR_SUCCESS;
}

} // namespace

DWORD FindVersionData(const ImageSource& source, const PeImage& image, RvaRange& data) {
    const DirectoryReader reader(source, image);
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
