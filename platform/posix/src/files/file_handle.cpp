// CreateFileA and the calls on an open file that the log writer needs.
#include "common/handles.h"
#include "common/last_error.h"
#include "files/entry_handle.h"
#include "files/file_info.h"
#include "files/named_folders.h"
#include "files/volume.h"
#include "paths/dos_path.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using posix::Fail;

int OpenFlags(DWORD access, DWORD disposition) {
    int flags = O_CLOEXEC;
    const bool read = (access & GENERIC_READ) != 0;
    const bool write = (access & GENERIC_WRITE) != 0;
    flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    if (disposition == CREATE_NEW)
        flags |= O_CREAT | O_EXCL;
    else if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
        flags |= O_CREAT;
    return flags;
}

// The checks Windows makes before it opens: dispositions and the read-only attribute.
bool CheckDisposition(const posix::HostPath& target, DWORD access, DWORD disposition) {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!target.exists)
        return disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING
                   ? Fail(ERROR_FILE_NOT_FOUND)
                   : TRUE;
    if (disposition == CREATE_NEW)
        return Fail(ERROR_FILE_EXISTS);
    // A folder, FIFO, socket or device is never opened as a file: one would block, one
    // would wake a driver.
    struct stat st {};
    if (fstatat(target.folder->fd.get(), target.name.c_str(), &st, 0) == 0 && !S_ISREG(st.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    if ((access & GENERIC_WRITE) && posix::IsReadOnlyMode(st.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    return TRUE;
}

// A copy this process made is opened where CopyFileA put it, never looked up again by a name
// that the system folder's 32-bit view may since resolve elsewhere.
bool ResolveCopyMade(const posix::CopyMade& copy, posix::HostPath& target) {
    target.folder = copy.folder;
    target.name = copy.name;
    target.path = copy.path;
    target.exists =
        fstatat(copy.folder->fd.get(), copy.name.c_str(), &target.st, AT_SYMLINK_NOFOLLOW) == 0;
    return TRUE;
}

} // namespace

namespace {

// What follows the open: only a regular file is kept, exclusive access is taken where no
// sharing was asked for, and the file is emptied where the disposition says so.
bool FinishOpen(int fd, DWORD shareMode, DWORD disposition) {
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return posix::FailFromErrno();
    if (!S_ISREG(st.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    // No share flags means exclusive access; other openers through this layer are refused.
    if (shareMode == 0 && flock(fd, LOCK_EX | LOCK_NB) != 0)
        return Fail(ERROR_SHARING_VIOLATION);
    const bool truncate = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (truncate && ftruncate(fd, 0) != 0)
        return posix::FailFromErrno();
    return TRUE;
}

} // namespace

namespace {

// Creating takes a folder that was not reached through a link; opening what exists is reading.
bool ResolveTarget(LPCSTR path, const posix::CopyMade* copy, DWORD disposition,
                   posix::HostPath& target) {
    if (copy)
        return ResolveCopyMade(*copy, target);
    if (!posix::ResolvePath(path, target))
        return false;
    if (!target.folder)
        return Fail(ERROR_ACCESS_DENIED); // a drive's root is no file
    const bool creates = disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING;
    if (creates && target.folder->throughLink)
        return Fail(ERROR_ACCESS_DENIED);
    return TRUE;
}

// The open itself, in the folder reached once. A name that was not there is created
// exclusively and one that is a link is never created through, so that no file appears where a
// link planted meanwhile points.
int OpenTarget(const posix::HostPath& target, DWORD access, DWORD disposition) {
    int flags = OpenFlags(access, disposition) | O_NONBLOCK | O_NOCTTY;
    if (!target.exists && (flags & O_CREAT))
        flags |= O_EXCL;
    else if (target.exists && S_ISLNK(target.st.st_mode))
        flags &= ~O_CREAT;
    return openat(target.folder->fd.get(), target.name.c_str(), flags, 0666);
}

} // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE) {
    if (posix::IsVolumePath(lpFileName))
        return posix::OpenVolume(lpFileName);
    if (posix::OpensEntryItself(dwDesiredAccess, dwFlagsAndAttributes))
        return posix::OpenEntry(lpFileName, dwDesiredAccess, dwFlagsAndAttributes,
                                dwCreationDisposition);
    const posix::CopyMade* copy = posix::CopyMadeTo(lpFileName);
    posix::HostPath target;
    if (!ResolveTarget(lpFileName, copy, dwCreationDisposition, target) ||
        !CheckDisposition(target, dwDesiredAccess, dwCreationDisposition))
        return INVALID_HANDLE_VALUE;
    // O_NONBLOCK keeps a FIFO from holding the open up; nothing but a regular file is kept.
    const int fd = OpenTarget(target, dwDesiredAccess, dwCreationDisposition);
    if (fd < 0) {
        posix::FailFromErrno();
        return INVALID_HANDLE_VALUE;
    }
    if (!FinishOpen(fd, dwShareMode, dwCreationDisposition)) {
        const DWORD error = GetLastError();
        close(fd);
        if (!target.exists) // a file that could not be opened is not left created
            unlinkat(target.folder->fd.get(), target.name.c_str(), 0);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    const bool opensOrCreates =
        dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetLastError(opensOrCreates && target.exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    auto* file = new posix::FileObject(fd);
    // A copy's flush also covers the folder that holds its name.
    if (copy)
        file->copyFolderFd = fcntl(target.folder->fd.get(), F_DUPFD_CLOEXEC, 0);
    return posix::RegisterHandle(file);
}

namespace {

posix::FileObject* LookUpFile(HANDLE handle) {
    return static_cast<posix::FileObject*>(posix::LookUpHandle(handle, posix::HandleKind::File));
}

} // namespace

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPVOID) {
    posix::FileObject* file = LookUpFile(hFile);
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    if (!file)
        return FALSE;
    const auto* bytes = static_cast<const char*>(lpBuffer);
    DWORD written = 0;
    while (written < nNumberOfBytesToWrite) {
        const ssize_t n = write(file->fd, bytes + written, nNumberOfBytesToWrite - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? posix::FailFromErrno() : Fail(ERROR_DISK_FULL);
        written += static_cast<DWORD>(n);
        if (lpNumberOfBytesWritten)
            *lpNumberOfBytesWritten = written;
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG* lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
    posix::FileObject* file = LookUpFile(hFile);
    if (!file || dwMoveMethod > FILE_END) {
        if (file)
            Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh)
        distance = (static_cast<int64_t>(*lpDistanceToMoveHigh) << 32) |
                   static_cast<uint32_t>(lDistanceToMove);
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    const off_t position = lseek(file->fd, distance, kWhence[dwMoveMethod]);
    if (position < 0) {
        posix::FailFromErrno();
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

BOOL SetEndOfFile(HANDLE hFile) {
    posix::FileObject* file = LookUpFile(hFile);
    if (!file)
        return FALSE;
    const off_t position = lseek(file->fd, 0, SEEK_CUR);
    if (position < 0 || ftruncate(file->fd, position) != 0)
        return posix::FailFromErrno();
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    // A mutex lets go of its lock with its descriptor; an entry's handle holds only its folder.
    if (posix::IsHandleOf(hObject, posix::HandleKind::Mutex) ||
        posix::IsHandleOf(hObject, posix::HandleKind::Entry)) {
        posix::ReleaseHandle(hObject);
        return TRUE;
    }
    posix::FileObject* file = LookUpFile(hObject);
    if (!file)
        return FALSE;
    const int result = close(file->fd);
    const int closeError = errno;
    posix::ReleaseHandle(hObject);
    // The descriptor is gone either way, but a failed close can mean lost writes.
    return result == 0 ? TRUE : Fail(posix::Win32ErrorFromErrno(closeError));
}
