// FindFirstFileA and friends: one folder listed in the order NTFS keeps it.
#include "common/handles.h"
#include "common/last_error.h"
#include "files/file_info.h"
#include "paths/dos_path.h"
#include "paths/name_fold.h"
#include "paths/open_folders.h"
#include "paths/system_view.h"
#include "paths/windows_name.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

using posix::Fail;

struct FindObject : posix::HandleObject {
    FindObject() : HandleObject(posix::HandleKind::Find) {}
    posix::FolderRef folder;        // the folder listed, held while its entries may be in hand
    posix::UniqueFd listing;        // a descriptor that reads it, open until the handle is closed
    bool notesInHand = false;       // what it delivers is noted as in hand (system_view.h)
    std::vector<std::string> names; // in delivery order
    size_t next = 0;
};

// "." and ".." come first, as NTFS delivers them; the rest sort by upper-cased name. Names that
// differ only in case, which only a case-sensitive host folder can hold, go in byte order, so
// that the order never depends on how the host lists the folder. Each name is folded once, not
// at every comparison.
void SortForDelivery(std::vector<std::string>& names) {
    struct Keyed {
        int rank; // 0 for ".", 1 for "..", 2 for every other name
        std::string key;
    };
    std::vector<Keyed> keyed(names.size());
    std::vector<size_t> order(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        keyed[i].rank = name == "." ? 0 : name == ".." ? 1 : 2;
        if (keyed[i].rank == 2)
            keyed[i].key = posix::NameSortKey(name);
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::tie(keyed[a].rank, keyed[a].key, names[a]) <
               std::tie(keyed[b].rank, keyed[b].key, names[b]);
    });
    std::vector<std::string> sorted(names.size());
    for (size_t i = 0; i < order.size(); ++i)
        sorted[i] = std::move(names[order[i]]);
    names = std::move(sorted);
}

// A host entry whose name Windows could not hold is not there for a Windows program: taken for
// one, a name such as "..\\x.dll" or "a\r\nb.dll" would lead out of its folder or forge a line.
bool IsListable(const char* name) {
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || posix::IsWindowsName(name);
}

// A mask is a name in which "*" and "?" stand for any characters.
bool IsValidMask(const std::string& mask) {
    return mask.find_first_of("\\/:\"<>|") == std::string::npos &&
           std::none_of(mask.begin(), mask.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// Reads the whole folder at once, so that a read error shows before any entry is handed out.
bool ListMatches(int folderFd, const std::string& mask, std::vector<std::string>& names) {
    const int listingFd = fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = listingFd >= 0 ? fdopendir(listingFd) : nullptr;
    if (!dir) {
        const DWORD error = posix::Win32ErrorFromErrno(errno);
        if (listingFd >= 0)
            close(listingFd);
        return Fail(error);
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry)
            break;
        if (posix::MatchesWildcard(entry->d_name, mask) && IsListable(entry->d_name))
            names.emplace_back(entry->d_name);
    }
    const int readError = errno;
    closedir(dir);
    if (readError != 0)
        return Fail(posix::Win32ErrorFromErrno(readError));
    SortForDelivery(names);
    return TRUE;
}

// Hands out the next entry that still exists. Only an entry removed since the listing is
// skipped: one that cannot be read ends the enumeration with the error, or a caller would take
// the folder for fully seen and might delete what it never handled.
BOOL DeliverNext(FindObject& find, WIN32_FIND_DATAA& data) {
    while (find.next < find.names.size()) {
        const std::string& name = find.names[find.next++];
        if (posix::FillFindData(find.listing.get(), name, data)) {
            if (find.notesInHand)
                posix::NoteFileInHand(name, find.folder, name);
            return TRUE;
        }
        if (errno != ENOENT)
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

// The folder to list, held open, reached from its parent's descriptor: a link at its name is
// followed, as Windows lists through one, but what is reached so is never removed from.
posix::FolderRef ListedFolder(const posix::HostPath& resolved) {
    if (!resolved.folder)
        return posix::HoldFolderByPath(resolved.path);
    if (posix::FolderRef held = posix::HeldFolder(resolved.path))
        return held;
    const std::string parentPath = resolved.path.substr(0, resolved.path.rfind('/'));
    return posix::OpenChildFolder(resolved.folder, parentPath, resolved.name);
}

// Opens the folder to list. Only a folder that is not there is "path not found"; one that
// cannot be read says why.
bool OpenFolder(const std::string& folder, FindObject& find) {
    posix::HostPath resolved;
    if (!posix::ResolvePath(folder.c_str(), resolved))
        return false;
    if (!resolved.exists)
        return Fail(ERROR_PATH_NOT_FOUND);
    // What a program finds elsewhere is what it may install into the system folder next.
    find.notesInHand = !resolved.inSystemFolder;
    find.folder = ListedFolder(resolved);
    if (find.folder)
        find.listing.reset(posix::ReopenForReading(find.folder->fd.get()));
    if (find.listing.get() < 0)
        return errno == ENOENT || errno == ENOTDIR ? Fail(ERROR_PATH_NOT_FOUND)
                                                   : posix::FailFromErrno();
    return true;
}

// A mask without wildcards names one entry, which Windows finds without regard to case; one
// lookup of the whole path settles it. As Windows folds "dir\." into "dir" before it looks, the
// entry found is the one the folded path names.
bool FindPlainName(const std::string& pattern, WIN32_FIND_DATAA& data) {
    posix::HostPath resolved;
    if (!posix::ResolvePath(pattern.c_str(), resolved))
        return false;
    if (!resolved.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    const std::string name = resolved.path.substr(resolved.path.rfind('/') + 1);
    const int folderFd = resolved.folder ? resolved.folder->fd.get() : -1;
    posix::FillFindDataFrom(name, resolved.st, posix::TargetOf(folderFd, name, resolved.st), data);
    if (!resolved.inSystemFolder)
        posix::NoteFileInHand(name, resolved.folder, name);
    return true;
}

HANDLE FindFirstMatch(const std::string& folder, const std::string& mask, WIN32_FIND_DATAA& data) {
    auto* find = new FindObject();
    const bool listed =
        OpenFolder(folder, *find) && ListMatches(find->listing.get(), mask, find->names);
    if (listed && find->names.empty())
        Fail(ERROR_FILE_NOT_FOUND);
    if (!listed || find->names.empty() || !DeliverNext(*find, data)) {
        const DWORD error =
            GetLastError() == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : GetLastError();
        delete find;
        Fail(error);
        return INVALID_HANDLE_VALUE;
    }
    return posix::RegisterHandle(find);
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
    if (posix::HasWildcard(mask)) {
        if (IsValidMask(mask))
            return FindFirstMatch(folder, mask, *lpFindFileData);
        Fail(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    if (!FindPlainName(lpFileName, *lpFindFileData))
        return INVALID_HANDLE_VALUE;
    return posix::RegisterHandle(new FindObject()); // nothing more to deliver
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    auto* find = static_cast<FindObject*>(posix::LookUpHandle(hFindFile, posix::HandleKind::Find));
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
