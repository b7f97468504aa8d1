// MoveFileExA: a file renamed within its volume, as the log writer puts a finished log in place.
#include "common/last_error.h"
#include "files/file_info.h"
#include "files/named_folders.h"
#include "paths/dos_path.h"

#include <cstdio>

namespace {

using posix::Fail;

// Windows replaces only a file: never a folder, a link to one, or a read-only file.
bool CheckReplaced(const posix::HostPath& target, DWORD flags) {
    if (!target.exists)
        return TRUE;
    if (!(flags & MOVEFILE_REPLACE_EXISTING))
        return Fail(ERROR_ALREADY_EXISTS);
    if (S_ISDIR(posix::TargetOf(target.path, target.st).st_mode))
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
    if (!posix::ResolvePath(lpExistingFileName, source))
        return FALSE;
    if (!source.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    if (!posix::ResolvePath(lpNewFileName, target) || !CheckReplaced(target, dwFlags))
        return FALSE;
    if (target.exists && S_ISDIR(source.st.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    // rename() replaces a link standing at the new name as a link: nothing is written through it.
    if (rename(source.path.c_str(), target.path.c_str()) != 0)
        return posix::FailFromErrno();
    // Write-through returns once the new name is on stable storage: its folder is flushed.
    if ((dwFlags & MOVEFILE_WRITE_THROUGH) && !posix::FlushFolderOf(target.path))
        return FALSE;
    return TRUE;
}
