// Named mutexes over flock: a mutex is a lock file in the prefix, as Wine keeps named objects
// per prefix, and the kernel drops the lock of a process that dies, much as Windows abandons
// the mutex of a killed owner to the next waiter. Only the runner can hold the lock file.
#include "common/handles.h"
#include "common/last_error.h"
#include "paths/dos_path.h"
#include "paths/drives.h"
#include "paths/system_view.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using posix::Fail;

// One file per name; hashed, since a name may hold any character and be longer than a file name.
std::string LockFileName(const std::string& name) {
    uint64_t hash = 14695981039346656037ULL;
    for (const unsigned char c : name) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    char text[48];
    snprintf(text, sizeof text, ".mutex-%016llx.lock", static_cast<unsigned long long>(hash));
    return text;
}

// The lock file is the runner's alone: made 0600, and taken only as a regular file of the
// runner with no other name, so that nobody else can hold it, make the open block (a FIFO), or
// have the run change a file of theirs (a link, a hard link). Gives -1 for anything else.
int OpenOwnLockFile(const std::string& path) {
    posix::UniqueFd fd(open(
        path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    struct stat st {};
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != geteuid() || st.st_nlink != 1)
        return -1;
    // An older run made it readable by all, and whoever can open it can hold it.
    if ((st.st_mode & 07777) != 0600 && fchmod(fd.get(), 0600) != 0)
        return -1;
    return fd.release();
}

// Whatever stands at the lock file's path, runs are still kept apart: the system folder, which
// every run of the prefix can open for reading, is locked instead.
int OpenSystemFolder() {
    posix::HostPath folder;
    if (!posix::ResolvePath(posix::kSystemFolder, folder) || !folder.folder) {
        errno = ENOENT;
        return -1;
    }
    // In the folder reached once; a system folder that is a link is the prefix owner's choice.
    return openat(folder.folder->fd.get(), folder.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int OpenLockFile(const std::string& name) {
    const int fd = OpenOwnLockFile(posix::WinePrefix() + "/" + LockFileName(name));
    return fd >= 0 ? fd : OpenSystemFolder();
}

posix::MutexObject* LookUpMutex(HANDLE handle) {
    return static_cast<posix::MutexObject*>(posix::LookUpHandle(handle, posix::HandleKind::Mutex));
}

} // namespace

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
    // Only what the tool needs across processes: a named mutex, taken by a wait.
    if (!lpName || !*lpName || bInitialOwner) {
        Fail(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    const int fd = OpenLockFile(lpName);
    if (fd < 0) {
        posix::FailFromErrno();
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return posix::RegisterHandle(new posix::MutexObject(fd));
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    posix::MutexObject* mutex = LookUpMutex(hHandle);
    if (!mutex)
        return WAIT_FAILED;
    if (dwMilliseconds != 0 && dwMilliseconds != INFINITE)
        return Fail(ERROR_NOT_SUPPORTED), WAIT_FAILED;
    // A Windows mutex may be taken again by its owner; each wait then needs its release.
    if (mutex->owned == 0) {
        const int operation = dwMilliseconds == 0 ? LOCK_EX | LOCK_NB : LOCK_EX;
        int result;
        while ((result = flock(mutex->fd, operation)) != 0 && errno == EINTR) {
        }
        if (result != 0 && errno == EWOULDBLOCK)
            return WAIT_TIMEOUT;
        if (result != 0)
            return posix::FailFromErrno(), WAIT_FAILED;
    }
    ++mutex->owned;
    return WAIT_OBJECT_0;
}

BOOL ReleaseMutex(HANDLE hMutex) {
    posix::MutexObject* mutex = LookUpMutex(hMutex);
    if (!mutex)
        return FALSE;
    if (mutex->owned == 0)
        return Fail(ERROR_NOT_OWNER);
    if (--mutex->owned == 0 && flock(mutex->fd, LOCK_UN) != 0)
        return posix::FailFromErrno();
    return TRUE;
}
