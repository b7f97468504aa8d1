#include "files/named_folders.h"
#include "common/last_error.h"
#include "common/unique_fd.h"
#include "paths/name_fold.h"

#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace posix {

namespace {

// By host path, so that each folder is flushed once however many copies it received.
std::map<std::string, FolderRef>& PendingFolders() {
    static std::map<std::string, FolderRef> s_folders;
    return s_folders;
}

std::map<std::u16string, CopyMade>& CopiesMade() {
    static std::map<std::u16string, CopyMade> s_copies;
    return s_copies;
}

} // namespace

void NoteCopyMade(LPCSTR windowsName, const HostPath& destination) {
    const std::string folderPath = destination.path.substr(0, destination.path.rfind('/'));
    PendingFolders()[folderPath] = destination.folder;
    CopiesMade()[FoldName(windowsName ? windowsName : "")] =
        CopyMade{destination.folder, destination.name, destination.path};
}

const CopyMade* CopyMadeTo(LPCSTR windowsName) {
    if (CopiesMade().empty() || !windowsName)
        return nullptr;
    const auto found = CopiesMade().find(FoldName(windowsName));
    return found == CopiesMade().end() ? nullptr : &found->second;
}

bool FlushFolder(int folderFd) {
    const UniqueFd fd(openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return (fd.get() >= 0 && fsync(fd.get()) == 0) || FailFromErrno();
}

bool FlushNamedFolders() {
    auto& pending = PendingFolders();
    while (!pending.empty()) {
        if (!FlushFolder(pending.begin()->second->fd.get()))
            return false;
        pending.erase(pending.begin());
    }
    return true;
}

} // namespace posix
