#include "paths/dos_path.h"
#include "common/last_error.h"
#include "common/regular_file.h"
#include "paths/drives.h"
#include "paths/name_fold.h"
#include "paths/name_index.h"
#include "paths/open_folders.h"
#include "paths/system_view.h"
#include "paths/windows_name.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace posix {

namespace {

const Drive* FindDrive(char letter) {
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    for (const Drive& drive : PrefixDrives()) {
        if (drive.letter == letter)
            return &drive;
    }
    return nullptr;
}

std::string CurrentHostFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? buffer : "/";
}

// A name as Windows reads it once "." and ".." are gone: it loses one trailing dot, and the
// last name of a path that does not end in a separator all its trailing dots and blanks, so
// "x.\y" is "x\y" and "dir\x. " is "dir\x". A "..." in the middle stays "..", which Windows
// refuses, and never climbs.
std::string_view TrimName(std::string_view name, bool last) {
    if (last) {
        while (!name.empty() && (name.back() == '.' || name.back() == ' '))
            name.remove_suffix(1);
    } else if (!name.empty() && name.back() == '.') {
        name.remove_suffix(1);
    }
    return name;
}

struct PathName {
    std::string_view text;
    bool last; // the path's last name, with no separator after it
};

// The names of a path after its root, with "." and ".." (exactly those, nothing that only
// trims to them) folded away as the current and the parent folder; ".." never climbs above
// the root.
std::vector<PathName> CollapseNames(std::string_view rest) {
    std::vector<PathName> names;
    for (size_t start = 0; start <= rest.size();) {
        const size_t end = std::min(rest.find('\\', start), rest.size());
        const std::string_view name = rest.substr(start, end - start);
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back({name, end == rest.size()});
        }
        start = end + 1;
    }
    return names;
}

// A Windows path spelled as a host path, before any name is looked up.
struct SpelledPath {
    std::string host;
    size_t rootLength = 0;
    bool inSystemFolder = false;
};

// The names of a path after its root, trimmed. A name that is no Windows name once trimmed is
// refused: only a host entry that Windows cannot hold could answer to it.
bool TrimmedNames(std::string_view rest, std::vector<std::string_view>& names) {
    for (const PathName& name : CollapseNames(rest)) {
        const std::string_view trimmed = TrimName(name.text, name.last);
        if (trimmed.empty())
            continue; // "dir\..." is the folder itself, as on Windows
        if (const DWORD error = WhyNotAWindowsName(trimmed))
            return Fail(error);
        names.push_back(trimmed);
    }
    return TRUE;
}

bool IsSystemFolderName(std::string_view name) {
    return NamesEqualIgnoringCase(name, "system32") || NamesEqualIgnoringCase(name, "syswow64");
}

// A DLL in C:\windows\system32 is one in syswow64 when the DLL in hand under its name is a
// 32-bit one and the prefix has that folder: what a 64-bit Windows shows a 32-bit program.
void TakeTheDllsView(const std::string& driveRoot, std::vector<std::string_view>& names) {
    if (names.size() != 3 || !NamesEqualIgnoringCase(names[1], "system32") ||
        !IsThirtyTwoBitInHand(names[2]))
        return;
    struct stat st {};
    const std::string syswow64 = driveRoot + "/windows/syswow64";
    if (stat(syswow64.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        names[1] = "syswow64";
}

bool SpellDrivePath(const Drive& drive, std::string_view rest, SpelledPath& spelled) {
    std::vector<std::string_view> names;
    if (!TrimmedNames(rest, names))
        return false;
    spelled.inSystemFolder = drive.letter == 'C' && names.size() >= 2 &&
                             NamesEqualIgnoringCase(names[0], "windows") &&
                             IsSystemFolderName(names[1]);
    if (spelled.inSystemFolder)
        TakeTheDllsView(drive.root, names);
    spelled.host.reserve(drive.root.size() + rest.size());
    spelled.host = drive.root;
    spelled.rootLength = spelled.host.size();
    for (const std::string_view name : names)
        spelled.host.append(1, '/').append(name);
    return TRUE;
}

// Turns a Windows path into the host folder of its root followed by the names below it.
bool SplitRoot(std::string path, SpelledPath& spelled) {
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    if (path.rfind("\\\\?\\", 0) == 0)
        path.erase(0, 4);
    if (path.rfind("\\\\", 0) == 0)
        return Fail(ERROR_PATH_NOT_FOUND); // no network shares here
    if (path.size() >= 2 && path[1] == ':') {
        const Drive* drive = FindDrive(path[0]);
        if (!drive)
            return Fail(ERROR_PATH_NOT_FOUND);
        return SpellDrivePath(*drive, std::string_view(path).substr(2), spelled);
    }
    // A current folder on no drive gives relative paths nothing to stand on.
    const std::string current = DosPathFromHost(CurrentHostFolder());
    if (current.empty())
        return Fail(ERROR_PATH_NOT_FOUND);
    if (!path.empty() && path[0] == '\\')
        return SplitRoot(current.substr(0, 2) + path, spelled);
    return SplitRoot(current + "\\" + path, spelled);
}

std::string JoinHostPath(const std::string& folder, const std::string& name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder).append(1, '/').append(name);
    return path;
}

// Walks the names one by one, where the path was not found as given.
bool WalkNames(const std::string& host, size_t rootLength, HostPath& out) {
    std::string current = host.substr(0, rootLength);
    for (size_t start = rootLength + 1; start <= host.size();) {
        size_t end = host.find('/', start);
        if (end == std::string::npos)
            end = host.size();
        const std::string name = host.substr(start, end - start);
        const bool last = end == host.size();
        start = end + 1;
        std::string candidate = JoinHostPath(current, name);
        if (lstat(candidate.c_str(), &out.st) != 0) {
            if (errno != ENOENT)
                return Fail(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno));
            std::string onDisk;
            const NameLookup lookup = FindNameIgnoringCase(current, name, onDisk);
            // A folder that is gone (a dangling link) or is no folder is a missing path; one
            // that cannot be read says why.
            if (lookup == NameLookup::Failed)
                return errno == ENOENT || errno == ENOTDIR ? Fail(ERROR_PATH_NOT_FOUND)
                                                           : FailFromErrno();
            if (lookup == NameLookup::Found) {
                candidate = JoinHostPath(current, onDisk);
                if (lstat(candidate.c_str(), &out.st) != 0)
                    return FailFromErrno();
            } else if (last) {
                out.path = candidate;
                out.exists = false;
                return TRUE;
            } else {
                return Fail(ERROR_PATH_NOT_FOUND);
            }
        }
        current = std::move(candidate);
    }
    out.path = current.empty() ? "/" : current;
    out.exists = true;
    return TRUE;
}

// The host form of a Windows path, before any name is looked up.
bool SpellHostPath(LPCSTR dosPath, SpelledPath& spelled) {
    if (!dosPath || !*dosPath)
        return Fail(ERROR_PATH_NOT_FOUND);
    // The "A" calls of Windows take at most MAX_PATH characters with the terminator.
    if (strnlen(dosPath, MAX_PATH) >= MAX_PATH)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    return SplitRoot(dosPath, spelled);
}

} // namespace

namespace {

// A folder on the way down from a held one: held itself already, or opened below it now.
FolderRef ChildFolder(const FolderRef& parent, const std::string& parentPath,
                      const std::string& name) {
    FolderRef child = HeldFolderAsLastSeen(JoinHostPath(parentPath, name));
    return child ? child : OpenChildFolder(parent, parentPath, name);
}

// Descends one name from a held folder, finding it without regard to case on a miss; path
// becomes the child's, in the case it has on disk.
bool DescendOneName(FolderRef& folder, std::string& path, const std::string& name) {
    FolderRef child = ChildFolder(folder, path, name);
    std::string onDisk = name;
    if (!child && errno == ENOENT) {
        const NameLookup lookup = FindNameIgnoringCase(*folder, name, onDisk);
        if (lookup == NameLookup::Absent)
            return Fail(ERROR_PATH_NOT_FOUND);
        if (lookup == NameLookup::Found)
            child = ChildFolder(folder, path, onDisk);
    }
    if (!child)
        return errno == ENOENT || errno == ENOTDIR ? Fail(ERROR_PATH_NOT_FOUND) : FailFromErrno();
    folder = std::move(child);
    path = JoinHostPath(path, onDisk);
    return TRUE;
}

// The held folder closest above the spelled folder (itself included); `end` becomes the length
// of the spelled path it stands for.
FolderRef ClosestHeldFolder(const std::string& spelled, size_t rootLength, size_t& end) {
    end = spelled.size();
    for (;;) {
        if (FolderRef held = HeldFolderAsLastSeen(spelled.substr(0, end)))
            return held;
        if (end <= rootLength)
            return nullptr;
        const size_t slash = spelled.rfind('/', end - 1);
        end = slash == std::string::npos || slash < rootLength ? rootLength : slash;
    }
}

// A folder below no held one is opened by its path, links followed: it is where the caller
// starts from, as the program folder and the system folders are.
FolderRef HoldFolderFromPath(const std::string& spelled, size_t rootLength, std::string& path) {
    HostPath found;
    if (spelled.size() == rootLength) {
        path = spelled;
    } else {
        if (!WalkNames(spelled, rootLength, found))
            return nullptr;
        if (!found.exists)
            return Fail(ERROR_PATH_NOT_FOUND), nullptr;
        path = found.path;
    }
    FolderRef folder = HoldFolderByPath(path);
    if (!folder && (errno == ENOENT || errno == ENOTDIR))
        Fail(ERROR_PATH_NOT_FOUND);
    else if (!folder)
        FailFromErrno();
    return folder;
}

// Reaches the folder of a spelled host path: from the closest held folder, every name below it
// is opened without following a link unawares, so that no folder is reached by a path twice.
bool ReachFolder(const std::string& spelled, size_t rootLength, FolderRef& folder,
                 std::string& path) {
    size_t end = 0;
    folder = ClosestHeldFolder(spelled, rootLength, end);
    if (!folder) {
        folder = HoldFolderFromPath(spelled, rootLength, path);
        return folder != nullptr;
    }
    path = spelled.substr(0, end);
    while (end < spelled.size()) {
        const size_t start = end + 1;
        end = std::min(spelled.find('/', start), spelled.size());
        if (!DescendOneName(folder, path, spelled.substr(start, end - start)))
            return false;
    }
    return TRUE;
}

// Looks up the last name in its folder, exactly first and then without regard to case.
bool FindLastName(const std::string& folderPath, const std::string& name, HostPath& out) {
    const int folderFd = out.folder->fd.get();
    out.name = name;
    if (fstatat(folderFd, name.c_str(), &out.st, AT_SYMLINK_NOFOLLOW) == 0) {
        out.exists = true;
    } else if (errno != ENOENT) {
        return errno == ENOTDIR ? Fail(ERROR_PATH_NOT_FOUND) : FailFromErrno();
    } else {
        std::string onDisk;
        const NameLookup lookup = FindNameIgnoringCase(*out.folder, name, onDisk);
        if (lookup == NameLookup::Failed)
            return errno == ENOENT || errno == ENOTDIR ? Fail(ERROR_PATH_NOT_FOUND)
                                                       : FailFromErrno();
        if (lookup == NameLookup::Found) {
            out.name = onDisk;
            if (fstatat(folderFd, onDisk.c_str(), &out.st, AT_SYMLINK_NOFOLLOW) != 0)
                return FailFromErrno();
            out.exists = true;
        }
    }
    out.path = JoinHostPath(folderPath, out.name);
    return TRUE;
}

// Resolves a spelled path below its root, whose folders are taken as last seen: where the name
// is missed in a folder that was removed meanwhile, that folder is let go and the path resolved
// again, so that a folder made anew at its path is found. A few tries, however often others
// remove folders.
bool ResolveBelowRoot(const std::string& host, size_t rootLength, HostPath& out) {
    const size_t slash = host.rfind('/');
    const bool inSystemFolder = out.inSystemFolder;
    for (int attempt = 0;; ++attempt) {
        out = HostPath();
        out.inSystemFolder = inSystemFolder;
        std::string folderPath;
        const bool reached = ReachFolder(host.substr(0, slash), rootLength, out.folder, folderPath);
        const bool found = reached && FindLastName(folderPath, host.substr(slash + 1), out);
        if ((found && out.exists) || attempt == 3 || !out.folder)
            return found;
        const DWORD error = GetLastError();
        if (!ForgetIfGone(*out.folder, folderPath)) {
            SetLastError(error);
            return found;
        }
    }
}

} // namespace

bool ResolvePath(LPCSTR dosPath, HostPath& out) {
    out = HostPath();
    SpelledPath spelled;
    if (!SpellHostPath(dosPath, spelled))
        return false;
    out.inSystemFolder = spelled.inSystemFolder;
    const std::string& host = spelled.host;
    if (host.size() == spelled.rootLength) {
        // A drive's root has no folder of its own to be reached through.
        out.path = host.empty() ? std::string("/") : host;
        if (lstat(out.path.c_str(), &out.st) != 0)
            return FailFromErrno();
        out.exists = true;
        return true;
    }
    return ResolveBelowRoot(host, spelled.rootLength, out);
}

bool HoldFolderAt(LPCSTR dosFolder) {
    SpelledPath spelled;
    if (!SpellHostPath(dosFolder, spelled))
        return false;
    if (HeldFolder(spelled.host))
        return TRUE;
    std::string path;
    FolderRef folder = HoldFolderFromPath(spelled.host, spelled.rootLength, path);
    if (folder && path != spelled.host)
        HoldFolder(spelled.host, dup(folder->fd.get()), false);
    return folder != nullptr;
}

bool OpenExisting(LPCSTR dosPath, HostPath& out, UniqueFd& fd) {
    if (!ResolvePath(dosPath, out))
        return false;
    if (!out.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    if (!out.folder)
        return Fail(ERROR_ACCESS_DENIED); // a drive's root is no file
    // The DLL in hand is open already: its machine was read to find its system folder.
    if (S_ISREG(out.st.st_mode) && TakeOpenFileInHand(*out.folder, out.name, out.st, fd))
        return TRUE;
    // A link is followed, as Windows does.
    return OpenRegularFileAt(out.folder->fd.get(), out.name, out.st, fd);
}

namespace {

// True when every name of the host path below the drive root is one Windows can hold; a name
// with a backslash would otherwise turn into two names, and one ending in a dot into another
// folder's name.
bool HoldsOnlyWindowsNames(std::string_view rest) {
    for (size_t start = 1; start < rest.size();) {
        const size_t end = std::min(rest.find('/', start), rest.size());
        if (!IsWindowsName(rest.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}

} // namespace

std::string DosPathFromHost(const std::string& hostPath) {
    const Drive* best = nullptr;
    for (const Drive& drive : PrefixDrives()) {
        const std::string& root = drive.root;
        const bool holds = hostPath.compare(0, root.size(), root) == 0 &&
                           (hostPath.size() == root.size() || hostPath[root.size()] == '/');
        if (holds && (!best || root.size() > best->root.size()))
            best = &drive;
    }
    if (!best)
        return std::string();
    std::string rest = hostPath.substr(best->root.size());
    if (!HoldsOnlyWindowsNames(rest))
        return std::string();
    for (char& c : rest)
        c = c == '/' ? '\\' : c;
    return std::string(1, best->letter) + ":" + (rest.empty() ? "\\" : rest);
}

} // namespace posix
