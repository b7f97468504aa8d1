// DeleteFileA and RemoveDirectoryA with the rules Windows enforces itself, so that they hold
// for root too: a read-only file or folder stays, a link goes without its target.
#include "common/last_error.h"
#include "files/file_info.h"
#include "paths/dos_path.h"

#include <cerrno>
#include <unistd.h>

namespace {

using posix::Fail;

bool ResolveExisting(LPCSTR path, posix::HostPath& resolved) {
    if (!posix::ResolvePath(path, resolved))
        return false;
    return resolved.exists ? TRUE : Fail(ERROR_FILE_NOT_FOUND);
}

bool IsLinkToFolder(const posix::HostPath& resolved) {
    struct stat target {};
    return S_ISLNK(resolved.st.st_mode) && stat(resolved.path.c_str(), &target) == 0 &&
           S_ISDIR(target.st_mode);
}

} // namespace

BOOL DeleteFileA(LPCSTR lpFileName) {
    posix::HostPath resolved;
    if (!ResolveExisting(lpFileName, resolved))
        return FALSE;
    if (S_ISDIR(resolved.st.st_mode) || IsLinkToFolder(resolved))
        return Fail(ERROR_ACCESS_DENIED);
    if (!S_ISLNK(resolved.st.st_mode) && posix::IsReadOnlyMode(resolved.st.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    if (unlink(resolved.path.c_str()) != 0)
        return posix::FailFromErrno();
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR lpPathName) {
    posix::HostPath resolved;
    if (!ResolveExisting(lpPathName, resolved))
        return FALSE;
    if (S_ISLNK(resolved.st.st_mode)) {
        // A folder link goes as a link; what it points to is not ours to remove.
        if (!IsLinkToFolder(resolved))
            return Fail(ERROR_DIRECTORY);
        return unlink(resolved.path.c_str()) == 0 ? TRUE : posix::FailFromErrno();
    }
    if (!S_ISDIR(resolved.st.st_mode))
        return Fail(ERROR_DIRECTORY);
    if (posix::IsReadOnlyMode(resolved.st.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    if (rmdir(resolved.path.c_str()) != 0)
        return Fail(errno == EEXIST ? ERROR_DIR_NOT_EMPTY : posix::Win32ErrorFromErrno(errno));
    return TRUE;
}
