// Named mutexes over flock: a mutex is a lock file in the prefix, as Wine keeps named objects
// per prefix, and the kernel drops the lock of a process that dies, much as Windows abandons
// the mutex of a killed owner to the next waiter.
#include "common/handles.h"
#include "common/last_error.h"
#include "paths/drives.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
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

// On a prefix that cannot be written the prefix folder itself is locked: every run can open it
// for reading, so runs are still kept apart.
int OpenLockFile(const std::string& name) {
    const std::string prefix = posix::WinePrefix();
    const std::string path = prefix + "/" + LockFileName(name);
    int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && (errno == EROFS || errno == EACCES || errno == EPERM))
        fd = open(prefix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd;
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
