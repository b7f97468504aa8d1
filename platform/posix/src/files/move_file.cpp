// MoveFileExA: a file renamed within its volume, as the log writer puts a finished log in place.
#include "common/last_error.h"
#include "files/file_info.h"
#include "files/named_folders.h"
#include "files/removal.h"
#include "paths/dos_path.h"

#include <cstdio>
#include <fcntl.h>

namespace {

using posix::Fail;

// Windows replaces only a file: never a folder, a link to one, or a read-only file.
bool CheckReplaced(const posix::HostPath& target, DWORD flags) {
    if (!target.exists)
        return TRUE;
    if (!(flags & MOVEFILE_REPLACE_EXISTING))
        return Fail(ERROR_ALREADY_EXISTS);
    if (S_ISDIR(posix::TargetOf(target.folder->fd.get(), target.name, target.st).st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    if (!S_ISLNK(target.st.st_mode) && posix::IsReadOnlyMode(target.st.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    return TRUE;
}

} // namespace

BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    if ((dwFlags & ~static_cast<DWORD>(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    posix::HostPath source, target;
    if (!posix::ResolveForRemoval(lpExistingFileName, source) ||
        !posix::ResolveForNewName(lpNewFileName, target) || !CheckReplaced(target, dwFlags))
        return FALSE;
    if (target.exists && S_ISDIR(source.st.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    // renameat() replaces a link standing at the new name as a link: nothing is written through
    // it, and both names are taken in the folders reached once.
    if (renameat(source.folder->fd.get(), source.name.c_str(), target.folder->fd.get(),
                 target.name.c_str()) != 0)
        return posix::FailFromErrno();
    // Write-through returns once the new name is on stable storage: its folder is flushed.
    if ((dwFlags & MOVEFILE_WRITE_THROUGH) && !posix::FlushFolder(target.folder->fd.get()))
        return FALSE;
    return TRUE;
}
