#include "fs/folders.h"
#include "fs/system_library.h"
#include "version/version.h"

#include <cstring>
#include <vector>
#include <winver.h>

namespace {

using GetFileVersionInfoSizeAProc = decltype(&GetFileVersionInfoSizeA);
using GetFileVersionInfoAProc = decltype(&GetFileVersionInfoA);
using VerQueryValueAProc = decltype(&VerQueryValueA);

// The first entry of the translation table: language in the low word, code page in the high.
bool QueryFirstTranslation(VerQueryValueAProc query, const std::vector<BYTE>& block,
                           DWORD& translation) {
    LPVOID value = nullptr;
    UINT length = 0;
    if (!query(block.data(), "\\VarFileInfo\\Translation", &value, &length) || !value ||
        length < sizeof translation)
        return false;
    memcpy(&translation, value, sizeof translation);
    return true;
}

// The text of a string value, read no further than the block reaches.
CString QueryString(VerQueryValueAProc query, const std::vector<BYTE>& block, LPCSTR name) {
    LPVOID value = nullptr;
    UINT length = 0;
    if (!query(block.data(), name, &value, &length) || !value)
        return CString();
    const auto* text = static_cast<const char*>(value);
    const auto* begin = reinterpret_cast<const char*>(block.data());
    if (text < begin || text >= begin + block.size())
        return CString();
    const size_t room = static_cast<size_t>(begin + block.size() - text);
    return CString(text, static_cast<int>(strnlen(text, room)));
}

// True when the block holds the tree its first word claims, with the signature and the room
// beside it where VerQueryValueA writes converted strings: a longer claim would make some
// version.dll implementations (Wine's) write past the block.
bool TreeFitsBlock(const std::vector<BYTE>& block) {
    const size_t kSignatureSize = 4;
    if (block.size() < 2)
        return false;
    const size_t treeLength = block[0] | block[1] << 8;
    return 2 * treeLength + kSignatureSize <= block.size();
}

// Reads the version with the calls of the loaded version.dll; false when the file could not be
// read, or the library lacks one of the calls.
bool ReadWithLibrary(HMODULE library, LPSTR filePath, CString& version) {
    const auto getSize =
        GetLibraryFunction<GetFileVersionInfoSizeAProc>(library, "GetFileVersionInfoSizeA");
    const auto getInfo =
        GetLibraryFunction<GetFileVersionInfoAProc>(library, "GetFileVersionInfoA");
    const auto query = GetLibraryFunction<VerQueryValueAProc>(library, "VerQueryValueA");
    if (!getSize || !getInfo || !query)
        return false;
    DWORD handle = 0;
    const DWORD size = getSize(filePath, &handle);
    if (size == 0)
        return !IsReadFailure(GetLastError());
    std::vector<BYTE> block(size);
    if (!getInfo(filePath, 0, size, block.data()))
        return !IsReadFailure(GetLastError());
    // A block that cannot hold what it claims is a malformed resource: no version.
    DWORD translation = 0;
    if (!TreeFitsBlock(block) || !QueryFirstTranslation(query, block, translation))
        return true;
    CString name;
    name.Format("\\StringFileInfo\\%04x%04x\\ProductVersion",
                static_cast<unsigned>(translation & 0xFFFF),
                static_cast<unsigned>(translation >> 16));
    version = QueryString(query, block, name);
    return true;
}

} // namespace

bool ReadProductVersion(CString path, CString& version) {
    version.Empty();
    // The path must fit a MAX_PATH buffer with its terminator; a longer one is refused whole.
    if (path.GetLength() >= MAX_PATH)
        return true;
    char filePath[MAX_PATH];
    strcpy(filePath, path);
    // Loaded for one whole read and freed after it: its three calls are one piece of work, and
    // the text VerQueryValueA points to lies in our own block, not in the library.
    HMODULE library = LoadSystemLibrary("version.dll");
    if (!library)
        return false;
    const bool read = ReadWithLibrary(library, filePath, version);
    FreeLibrary(library);
    return read;
}

CString GetProductVersion(CString path) {
    CString version;
    ReadProductVersion(path, version);
    return version;
}
