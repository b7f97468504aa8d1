#include "files/named_folders.h"
#include "common/last_error.h"
#include "common/unique_fd.h"
#include "paths/name_fold.h"

#include <fcntl.h>
#include <map>
#include <unistd.h>
#include <utility>

namespace posix {

namespace {

// By device and inode, so that each folder is flushed once however many copies it received.
std::map<std::pair<dev_t, ino_t>, FolderRef>& PendingFolders() {
    static std::map<std::pair<dev_t, ino_t>, FolderRef> s_folders;
    return s_folders;
}

std::map<std::u16string, CopyMade>& CopiesMade() {
    static std::map<std::u16string, CopyMade> s_copies;
    return s_copies;
}

} // namespace

void NoteCopyMade(LPCSTR windowsName, const HostPath& destination) {
    const OpenFolder& folder = *destination.folder;
    PendingFolders()[{folder.device, folder.inode}] = destination.folder;
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
    const UniqueFd fd(ReopenForReading(folderFd));
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
