#include "version/version.h"
#include "fs/folders.h"

#include <cstring>
#include <vector>
#include <winver.h>

namespace {

// The first entry of the translation table: language in the low word, code page in the high.
bool QueryFirstTranslation(const std::vector<BYTE>& block, DWORD& translation) {
    LPVOID value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) || !value ||
        length < sizeof translation)
        return false;
    memcpy(&translation, value, sizeof translation);
    return true;
}

// The text of a string value, read no further than the block reaches.
CString QueryString(const std::vector<BYTE>& block, LPCSTR query) {
    LPVOID value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), query, &value, &length) || !value)
        return CString();
    const auto* text = static_cast<const char*>(value);
    const auto* begin = reinterpret_cast<const char*>(block.data());
    if (text < begin || text >= begin + block.size())
        return CString();
    const size_t room = static_cast<size_t>(begin + block.size() - text);
    return CString(text, static_cast<int>(strnlen(text, room)));
}

} // namespace

bool ReadProductVersion(CString path, CString& version) {
    version.Empty();
    // The path must fit a MAX_PATH buffer with its terminator; a longer one is refused whole.
    if (path.GetLength() >= MAX_PATH)
        return true;
    char filePath[MAX_PATH];
    strcpy(filePath, path);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(filePath, &handle);
    if (size == 0)
        return !IsReadFailure(GetLastError());
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoA(filePath, 0, size, block.data()))
        return !IsReadFailure(GetLastError());
    DWORD translation = 0;
    if (!QueryFirstTranslation(block, translation))
        return true;
    CString query;
    query.Format("\\StringFileInfo\\%04x%04x\\ProductVersion",
                 static_cast<unsigned>(translation & 0xFFFF), static_cast<unsigned>(translation >> 16));
    version = QueryString(block, query);
    return true;
}

CString GetProductVersion(CString path) {
    CString version;
    ReadProductVersion(path, version);
    return version;
}
