#include "dos_path.h"
#include "drives.h"
#include "last_error.h"
#include "name_fold.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
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

// Windows drops trailing dots and blanks from every name of a path.
std::string TrimName(std::string name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ') && name != "." &&
           name != "..")
        name.pop_back();
    return name;
}

// Splits the path after its root into names, folding "." and ".." away as Windows does.
void AppendNames(const std::string& rest, std::vector<std::string>& names) {
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\\', start);
        if (end == std::string::npos)
            end = rest.size();
        std::string name = TrimName(rest.substr(start, end - start));
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = end + 1;
    }
}

// Splits a Windows path into the host folder of its root and the names below it.
bool SplitRoot(std::string path, std::string& root, std::vector<std::string>& names) {
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
        root = drive->root;
        AppendNames(path.substr(2), names);
        return TRUE;
    }
    const std::string current = DosPathFromHost(CurrentHostFolder());
    if (!path.empty() && path[0] == '\\')
        return SplitRoot(current.substr(0, 2) + path, root, names);
    return SplitRoot(current + "\\" + path, root, names);
}

// Finds the name in the folder without regard to case; returns the name as it is on disk.
bool FindNameIgnoringCase(const std::string& folder, const std::string& name, std::string& found) {
    DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
    if (!dir)
        return false;
    const std::u16string wanted = FoldName(name);
    bool match = false;
    while (const dirent* entry = readdir(dir)) {
        if (FoldName(entry->d_name) == wanted) {
            found = entry->d_name;
            match = true;
            break;
        }
    }
    closedir(dir);
    return match;
}

// Walks the names one by one, where the whole path was not found as given.
bool WalkNames(const std::string& root, const std::vector<std::string>& names, HostPath& out) {
    std::string current = root;
    for (size_t i = 0; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        std::string candidate = current + "/" + names[i];
        if (lstat(candidate.c_str(), &out.st) != 0) {
            if (errno != ENOENT)
                return Fail(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno));
            std::string onDisk;
            if (FindNameIgnoringCase(current, names[i], onDisk)) {
                candidate = current + "/" + onDisk;
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
        current = candidate;
    }
    out.path = current.empty() ? "/" : current;
    out.exists = true;
    return TRUE;
}

} // namespace

bool ResolvePath(LPCSTR dosPath, HostPath& out) {
    out = HostPath();
    if (!dosPath || !*dosPath)
        return Fail(ERROR_PATH_NOT_FOUND);
    // The "A" calls of Windows take at most MAX_PATH characters with the terminator.
    if (strnlen(dosPath, MAX_PATH) >= MAX_PATH)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    std::string root;
    std::vector<std::string> names;
    if (!SplitRoot(dosPath, root, names))
        return false;
    std::string whole = root;
    for (const std::string& name : names)
        whole += "/" + name;
    if (whole.empty())
        whole = "/";
    // Most paths are spelled as they are on disk: one lstat settles them.
    if (lstat(whole.c_str(), &out.st) == 0) {
        out.path = whole;
        out.exists = true;
        return true;
    }
    if (names.empty())
        return FailFromErrno();
    return WalkNames(root, names, out);
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
