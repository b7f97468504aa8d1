// DeleteFileA and RemoveDirectoryA with the rules Windows enforces itself, so that they hold
// for root too: a read-only file or folder stays, a link goes without its target. Each acts on
// the name in the folder that was reached once, never through a path walked again.
#include "common/last_error.h"
#include "files/file_info.h"
#include "files/removal.h"
#include "paths/dos_path.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace posix {

namespace {

// No name is removed, created or renamed in a folder reached through a link: another user may
// have put the link where a folder was, to turn the change against a folder of their choice.
bool MayChangeNamesIn(const HostPath& resolved) {
    return resolved.folder && !resolved.folder->throughLink ? TRUE : Fail(ERROR_ACCESS_DENIED);
}

} // namespace

bool ResolveForRemoval(LPCSTR path, HostPath& resolved) {
    if (!ResolvePath(path, resolved))
        return false;
    return resolved.exists ? MayChangeNamesIn(resolved) : Fail(ERROR_FILE_NOT_FOUND);
}

bool ResolveForNewName(LPCSTR path, HostPath& resolved) {
    return ResolvePath(path, resolved) && MayChangeNamesIn(resolved);
}

bool IsLinkToFolder(const HostPath& resolved) {
    struct stat target {};
    return S_ISLNK(resolved.st.st_mode) &&
           fstatat(resolved.folder->fd.get(), resolved.name.c_str(), &target, 0) == 0 &&
           S_ISDIR(target.st_mode);
}

bool UnlinkResolved(const HostPath& resolved, int flags) {
    if (unlinkat(resolved.folder->fd.get(), resolved.name.c_str(), flags) != 0)
        return errno == ENOTEMPTY || errno == EEXIST ? Fail(ERROR_DIR_NOT_EMPTY) : FailFromErrno();
    if (flags & AT_REMOVEDIR)
        ForgetFoldersAt(resolved.path);
    return TRUE;
}

bool DeleteResolvedFile(const HostPath& resolved) {
    if (S_ISDIR(resolved.st.st_mode) || IsLinkToFolder(resolved))
        return Fail(ERROR_ACCESS_DENIED);
    if (!S_ISLNK(resolved.st.st_mode) && IsReadOnlyMode(resolved.st.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    return UnlinkResolved(resolved, 0);
}

bool RemoveResolvedFolder(const HostPath& resolved) {
    if (S_ISLNK(resolved.st.st_mode)) {
        // A folder link goes as a link; what it points to is not ours to remove.
        if (!IsLinkToFolder(resolved))
            return Fail(ERROR_DIRECTORY);
        return UnlinkResolved(resolved, 0);
    }
    if (!S_ISDIR(resolved.st.st_mode))
        return Fail(ERROR_DIRECTORY);
    if (IsReadOnlyMode(resolved.st.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    return UnlinkResolved(resolved, AT_REMOVEDIR);
}

} // namespace posix

BOOL DeleteFileA(LPCSTR lpFileName) {
    posix::HostPath resolved;
    return posix::ResolveForRemoval(lpFileName, resolved) && posix::DeleteResolvedFile(resolved);
}

BOOL RemoveDirectoryA(LPCSTR lpPathName) {
    posix::HostPath resolved;
    return posix::ResolveForRemoval(lpPathName, resolved) && posix::RemoveResolvedFolder(resolved);
}
