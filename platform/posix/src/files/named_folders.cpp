#include "files/named_folders.h"
#include "common/last_error.h"
#include "common/unique_fd.h"
#include "paths/name_fold.h"

#include <fcntl.h>
#include <map>
#include <set>
#include <unistd.h>

namespace posix {

namespace {

std::set<std::string>& PendingFolders() {
    static std::set<std::string> s_folders;
    return s_folders;
}

std::map<std::u16string, std::string>& CopiesMade() {
    static std::map<std::u16string, std::string> s_copies;
    return s_copies;
}

std::string FolderOf(const std::string& hostPath) {
    const size_t slash = hostPath.rfind('/');
    return slash == 0 ? "/" : hostPath.substr(0, slash);
}

bool FsyncFolder(const std::string& folder) {
    const UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return (fd.get() >= 0 && fsync(fd.get()) == 0) || FailFromErrno();
}

} // namespace

void NoteCopyMade(LPCSTR windowsName, const std::string& hostPath) {
    PendingFolders().insert(FolderOf(hostPath));
    CopiesMade()[FoldName(windowsName ? windowsName : "")] = hostPath;
}

const std::string* CopyMadeTo(LPCSTR windowsName) {
    if (CopiesMade().empty() || !windowsName)
        return nullptr;
    const auto found = CopiesMade().find(FoldName(windowsName));
    return found == CopiesMade().end() ? nullptr : &found->second;
}

bool FlushNamedFolders() {
    std::set<std::string>& pending = PendingFolders();
    while (!pending.empty()) {
        if (!FsyncFolder(*pending.begin()))
            return false;
        pending.erase(pending.begin());
    }
    return true;
}

bool FlushFolderOf(const std::string& hostPath) {
    return FsyncFolder(FolderOf(hostPath));
}

} // namespace posix
