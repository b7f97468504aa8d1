#include "paths/open_folders.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace posix {

namespace {

// Beyond this many folders the least recently used one is let go: a run holds the folders on
// its way down a tree, and a removed folder is forgotten at once.
constexpr size_t kMostHeld = 256;

struct Held {
    FolderRef folder;
    unsigned long lastUse;
};

std::unordered_map<std::string, Held>& HeldFolders() {
    static std::unordered_map<std::string, Held> s_held;
    return s_held;
}

unsigned long NextUse() {
    static unsigned long s_uses = 0;
    return ++s_uses;
}

void LetGoOfLeastUsed() {
    auto& held = HeldFolders();
    auto oldest = held.begin();
    for (auto it = held.begin(); it != held.end(); ++it) {
        if (it->second.lastUse < oldest->second.lastUse)
            oldest = it;
    }
    if (oldest != held.end())
        held.erase(oldest);
}

bool IsAtOrBelow(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

} // namespace

FolderRef HeldFolderAsLastSeen(const std::string& hostPath) {
    auto& held = HeldFolders();
    const auto found = held.find(hostPath);
    if (found == held.end())
        return nullptr;
    found->second.lastUse = NextUse();
    return found->second.folder;
}

bool ForgetIfGone(const OpenFolder& folder, const std::string& hostPath) {
    // A folder removed by anyone is gone for good; a new one at its path is another folder.
    struct stat st {};
    if (fstat(folder.fd.get(), &st) == 0 && st.st_nlink != 0)
        return false;
    const auto found = HeldFolders().find(hostPath);
    if (found != HeldFolders().end() && found->second.folder.get() == &folder)
        HeldFolders().erase(found);
    return true;
}

FolderRef HeldFolder(const std::string& hostPath) {
    FolderRef folder = HeldFolderAsLastSeen(hostPath);
    return folder && !ForgetIfGone(*folder, hostPath) ? folder : nullptr;
}

FolderRef HoldFolder(const std::string& hostPath, int fd, bool throughLink) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return nullptr;
    }
    auto& held = HeldFolders();
    if (held.size() >= kMostHeld && held.count(hostPath) == 0)
        LetGoOfLeastUsed();
    FolderRef folder = std::make_shared<const OpenFolder>(fd, throughLink, st.st_dev, st.st_ino);
    held[hostPath] = Held{folder, NextUse()};
    return folder;
}

FolderRef HoldFolderByPath(const std::string& hostPath) {
    const int fd =
        open(hostPath.empty() ? "/" : hostPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd >= 0 ? HoldFolder(hostPath, fd, false) : nullptr;
}

FolderRef OpenChildFolder(const FolderRef& parent, const std::string& parentPath,
                          const std::string& name) {
    const int parentFd = parent->fd.get();
    bool viaLink = parent->throughLink;
    int fd = openat(parentFd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 && errno == ENOTDIR &&
        fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        fd = openat(parentFd, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        viaLink = true;
    }
    return fd >= 0 ? HoldFolder(parentPath + "/" + name, fd, viaLink) : nullptr;
}

void ForgetFoldersAt(const std::string& hostPath) {
    auto& held = HeldFolders();
    for (auto it = held.begin(); it != held.end();)
        it = IsAtOrBelow(it->first, hostPath) ? held.erase(it) : std::next(it);
}

int ReopenForReading(int folderFd) {
    return openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

} // namespace posix
