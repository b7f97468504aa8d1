#include "dos_path.h"
#include "drives.h"
#include "last_error.h"
#include "name_index.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

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

// Windows drops trailing dots and blanks from every name of a path.
std::string_view TrimName(std::string_view name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ') && name != "." &&
           name != "..")
        name.remove_suffix(1);
    return name;
}

// Appends the names of the path after its root to the host path, folding "." and ".." away
// as Windows does; ".." never climbs above the root.
void AppendNames(std::string_view rest, size_t rootLength, std::string& host) {
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\\', start);
        if (end == std::string_view::npos)
            end = rest.size();
        const std::string_view name = TrimName(rest.substr(start, end - start));
        if (name == "..") {
            if (host.size() > rootLength)
                host.resize(host.rfind('/'));
        } else if (!name.empty() && name != ".") {
            host += '/';
            host += name;
        }
        start = end + 1;
    }
}

// Turns a Windows path into the host folder of its root followed by the names below it.
bool SplitRoot(std::string path, std::string& host, size_t& rootLength) {
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
        host.reserve(drive->root.size() + path.size());
        host = drive->root;
        rootLength = host.size();
        AppendNames(std::string_view(path).substr(2), rootLength, host);
        return TRUE;
    }
    // A current folder on no drive gives relative paths nothing to stand on.
    const std::string current = DosPathFromHost(CurrentHostFolder());
    if (current.empty())
        return Fail(ERROR_PATH_NOT_FOUND);
    if (!path.empty() && path[0] == '\\')
        return SplitRoot(current.substr(0, 2) + path, host, rootLength);
    return SplitRoot(current + "\\" + path, host, rootLength);
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

// Settles a missing last name in one step where its folder is there as spelled, which is what
// a new file's path looks like; anything else takes the walk.
bool ResolveMissingLeaf(const std::string& host, size_t rootLength, HostPath& out) {
    const size_t slash = host.rfind('/');
    if (slash < rootLength)
        return false;
    const std::string folder = host.substr(0, slash);
    struct stat folderStat {};
    if (stat(folder.empty() ? "/" : folder.c_str(), &folderStat) != 0 ||
        !S_ISDIR(folderStat.st_mode))
        return false;
    std::string onDisk;
    const NameLookup lookup =
        FindNameIgnoringCase(folder, folderStat, host.substr(slash + 1), onDisk);
    if (lookup == NameLookup::Failed)
        return false; // the walk looks again and reports the error
    if (lookup == NameLookup::Absent) {
        out.path = host;
        out.exists = false;
        return true;
    }
    out.path = JoinHostPath(folder, onDisk);
    if (lstat(out.path.c_str(), &out.st) == 0) {
        out.exists = true;
        return true;
    }
    out.path.clear(); // vanished meanwhile: the walk reports it as it always has
    return false;
}

// The host form of a Windows path, before any name is looked up.
bool SpellHostPath(LPCSTR dosPath, std::string& host, size_t& rootLength) {
    if (!dosPath || !*dosPath)
        return Fail(ERROR_PATH_NOT_FOUND);
    // The "A" calls of Windows take at most MAX_PATH characters with the terminator.
    if (strnlen(dosPath, MAX_PATH) >= MAX_PATH)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    return SplitRoot(dosPath, host, rootLength);
}

} // namespace

bool ResolvePath(LPCSTR dosPath, HostPath& out) {
    out = HostPath();
    std::string host;
    size_t rootLength = 0;
    if (!SpellHostPath(dosPath, host, rootLength))
        return false;
    // Most paths are spelled as they are on disk: one lstat settles them.
    if (lstat(host.empty() ? "/" : host.c_str(), &out.st) == 0) {
        out.path = host.empty() ? std::string("/") : std::move(host);
        out.exists = true;
        return true;
    }
    if (host.size() == rootLength)
        return FailFromErrno();
    if (errno == ENOENT && ResolveMissingLeaf(host, rootLength, out))
        return true;
    return WalkNames(host, rootLength, out);
}

bool OpenExisting(LPCSTR dosPath, int flags, HostPath& out, UniqueFd& fd) {
    out = HostPath();
    std::string host;
    size_t rootLength = 0;
    if (!SpellHostPath(dosPath, host, rootLength))
        return false;
    fd.reset(open(host.empty() ? "/" : host.c_str(), flags | O_CLOEXEC));
    if (fd.get() < 0) {
        if (!ResolvePath(dosPath, out))
            return false;
        if (!out.exists)
            return Fail(ERROR_FILE_NOT_FOUND);
        fd.reset(open(out.path.c_str(), flags | O_CLOEXEC));
        if (fd.get() < 0)
            return FailFromErrno();
    } else {
        out.path = host.empty() ? std::string("/") : std::move(host);
        out.exists = true;
    }
    return fstat(fd.get(), &out.st) == 0 ? TRUE : FailFromErrno();
}

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
    for (char& c : rest)
        c = c == '/' ? '\\' : c;
    return std::string(1, best->letter) + ":" + (rest.empty() ? "\\" : rest);
}

} // namespace posix
