// FindFirstFileA and friends: one folder listed in the order NTFS keeps it.
#include "dos_path.h"
#include "file_info.h"
#include "handles.h"
#include "last_error.h"
#include "name_fold.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>

namespace {

using posix::Fail;

bool IsDots(const std::string& name) {
    return name == "." || name == "..";
}

// "." and ".." come first, as NTFS delivers them; the rest sort by upper-cased name. Names that
// differ only in case, which only a case-sensitive host folder can hold, go in byte order, so
// that the order never depends on how the host lists the folder.
bool DeliveredBefore(const std::string& a, const std::string& b) {
    if (IsDots(a) || IsDots(b))
        return IsDots(a) && (!IsDots(b) || a.size() < b.size());
    if (posix::NameSortsBefore(a, b))
        return true;
    return !posix::NameSortsBefore(b, a) && a < b;
}

// Reads the whole folder at once, so that a read error shows before any entry is handed out.
bool ListMatches(const std::string& hostFolder, const std::string& mask,
                 std::vector<std::string>& names) {
    DIR* dir = opendir(hostFolder.c_str());
    if (!dir)
        return posix::FailFromErrno();
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry)
            break;
        if (posix::MatchesWildcard(entry->d_name, mask))
            names.emplace_back(entry->d_name);
    }
    const int readError = errno;
    closedir(dir);
    if (readError != 0)
        return Fail(posix::Win32ErrorFromErrno(readError));
    std::sort(names.begin(), names.end(), DeliveredBefore);
    return TRUE;
}

// Hands out the next entry that still exists. Only an entry removed since the listing is
// skipped: one that cannot be read ends the enumeration with the error, or a caller would take
// the folder for fully seen and might delete what it never handled.
BOOL DeliverNext(posix::FindObject& find, WIN32_FIND_DATAA& data) {
    while (find.next < find.names.size()) {
        if (posix::FillFindData(find.hostFolder, find.names[find.next++], data))
            return TRUE;
        if (errno != ENOENT) // FillFindData fails only where lstat did, with its errno
            return posix::FailFromErrno();
    }
    return Fail(ERROR_NO_MORE_FILES);
}

bool SplitPattern(const std::string& pattern, std::string& folder, std::string& mask) {
    const size_t slash = pattern.find_last_of("\\/");
    folder = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
    mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    return !mask.empty();
}

bool ResolveFolder(const std::string& folder, std::string& hostFolder) {
    posix::HostPath resolved;
    if (!posix::ResolvePath(folder.c_str(), resolved))
        return false;
    struct stat st {};
    if (!resolved.exists)
        return Fail(ERROR_PATH_NOT_FOUND);
    // Only a folder that is not there is "path not found"; one that cannot be read says why.
    if (stat(resolved.path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Fail(ERROR_PATH_NOT_FOUND)
                                                   : posix::FailFromErrno();
    if (!S_ISDIR(st.st_mode))
        return Fail(ERROR_PATH_NOT_FOUND);
    hostFolder = resolved.path;
    return true;
}

// A mask without wildcards names one entry, which Windows finds without regard to case.
bool FindExactName(const std::string& pattern, std::vector<std::string>& names) {
    posix::HostPath resolved;
    if (!posix::ResolvePath(pattern.c_str(), resolved))
        return false;
    if (!resolved.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    names.push_back(resolved.path.substr(resolved.path.rfind('/') + 1));
    return true;
}

} // namespace

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    std::string folder, mask;
    if (!lpFileName || !lpFindFileData) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!SplitPattern(lpFileName, folder, mask)) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto* find = new posix::FindObject();
    const bool listed = ResolveFolder(folder, find->hostFolder) &&
                        (posix::HasWildcard(mask) ? ListMatches(find->hostFolder, mask, find->names)
                                                  : FindExactName(lpFileName, find->names));
    if (listed && find->names.empty())
        Fail(ERROR_FILE_NOT_FOUND);
    if (!listed || find->names.empty() || !DeliverNext(*find, *lpFindFileData)) {
        const DWORD error =
            GetLastError() == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : GetLastError();
        delete find;
        Fail(error);
        return INVALID_HANDLE_VALUE;
    }
    return posix::RegisterHandle(find);
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    auto* find =
        static_cast<posix::FindObject*>(posix::LookUpHandle(hFindFile, posix::HandleKind::Find));
    if (!find)
        return FALSE;
    if (!lpFindFileData)
        return Fail(ERROR_INVALID_PARAMETER);
    return DeliverNext(*find, *lpFindFileData);
}

BOOL FindClose(HANDLE hFindFile) {
    if (!posix::LookUpHandle(hFindFile, posix::HandleKind::Find))
        return FALSE;
    posix::ReleaseHandle(hFindFile);
    return TRUE;
}
