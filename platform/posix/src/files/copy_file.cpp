// CopyFileA: the destination is either left as it was or replaced whole, never written in
// place and never through a link; the new file's data is on stable storage before its name.
#include "common/last_error.h"
#include "common/unique_fd.h"
#include "files/file_info.h"
#include "files/named_folders.h"
#include "files/removal.h"
#include "files/temporaries.h"
#include "paths/dos_path.h"
#include "paths/system_view.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <set>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace {

using posix::Fail;
using posix::UniqueFd;

bool CheckDestination(const posix::HostPath& dst, const struct stat& srcStat, BOOL failIfExists) {
    if (!dst.exists)
        return TRUE;
    if (failIfExists)
        return Fail(ERROR_FILE_EXISTS);
    // Only a link needs a second look, at what it points to.
    struct stat target = dst.st;
    if (!S_ISLNK(dst.st.st_mode) ||
        fstatat(dst.folder->fd.get(), dst.name.c_str(), &target, 0) == 0) {
        if (S_ISDIR(target.st_mode))
            return Fail(ERROR_ACCESS_DENIED);
        // Copying a file onto itself would empty it; Windows refuses, the file being open.
        if (target.st_dev == srcStat.st_dev && target.st_ino == srcStat.st_ino)
            return Fail(ERROR_SHARING_VIOLATION);
    }
    if (!S_ISLNK(dst.st.st_mode) && posix::IsReadOnlyMode(dst.st.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    return TRUE;
}

bool CopyByReadWrite(int from, int to) {
    static constexpr size_t kChunk = size_t{256} * 1024;
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (;;) {
        const ssize_t got = read(from, buffer.get(), kChunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return posix::FailFromErrno();
        if (got == 0)
            return TRUE;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(to, buffer.get() + done, got - done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return put < 0 ? posix::FailFromErrno() : Fail(ERROR_DISK_FULL);
            done += put;
        }
    }
}

// The pairs of file systems (source, destination) that refused a reflink as such: it is not
// tried again between them.
std::set<std::pair<dev_t, dev_t>>& RefusedReflinks() {
    static std::set<std::pair<dev_t, dev_t>> s_refused;
    return s_refused;
}

// The kernel copies: a reflink where the file systems share blocks, else copy_file_range. The
// copy ends at the size the source had when it was opened, without a last call to see its end.
bool CopyContent(int from, const struct stat& srcStat, int to, dev_t toDevice) {
    const std::pair<dev_t, dev_t> fileSystems(srcStat.st_dev, toDevice);
    if (RefusedReflinks().count(fileSystems) == 0) {
        if (ioctl(to, FICLONE, from) == 0)
            return TRUE;
        if (errno == EOPNOTSUPP || errno == ENOTTY || errno == EXDEV)
            RefusedReflinks().insert(fileSystems);
    }
    // A large copy goes in parts, each sent on to the disk while the next is copied, so that
    // the flush before the copy takes its name waits for the last part only.
    constexpr size_t kPart = size_t{8} << 20;
    const off_t size = srcStat.st_size;
    off_t copied = 0;
    for (;;) {
        const ssize_t n = copy_file_range(from, nullptr, to, nullptr, kPart, 0);
        if (n > 0) {
            copied += n;
            if (size > 0 && copied >= size)
                return TRUE;
            sync_file_range(to, copied - n, n, SYNC_FILE_RANGE_WRITE);
            continue;
        }
        if (n == 0)
            return TRUE;
        if (errno == EINTR)
            continue;
        const bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                                 errno == EOPNOTSUPP || errno == EBADF;
        if (copied == 0 && unsupported)
            return CopyByReadWrite(from, to);
        return posix::FailFromErrno();
    }
}

// The copy carries the read-only attribute and nothing else of the source's mode: what Wine
// gives under umask 022, owned by whoever runs the tool. A setuid, executable or world-writable
// source must never become such a system file, and a copy is never readable by more users than
// its source: the group, which becomes the runner's, reads it only where everybody may.
mode_t CopyMode(const struct stat& srcStat) {
    const mode_t owner = posix::IsReadOnlyMode(srcStat.st_mode) ? 0400 : 0600;
    const bool everybodyReads = (srcStat.st_mode & S_IROTH) != 0;
    const bool groupReads =
        (srcStat.st_mode & S_IRGRP) != 0 && (everybodyReads || srcStat.st_gid == getegid());
    return owner | (groupReads ? S_IRGRP : 0) | (everybodyReads ? S_IROTH : 0);
}

bool CopyMetadata(int to, const struct stat& srcStat) {
    const timespec times[2] = {srcStat.st_atim, srcStat.st_mtim};
    if (fchmod(to, CopyMode(srcStat)) != 0 || futimens(to, times) != 0)
        return posix::FailFromErrno();
    return TRUE;
}

// Links an anonymous file to a name in the folder. Newer kernels take the descriptor itself;
// older ones refuse that without privileges, and then the descriptor's /proc name serves.
int LinkAnonymous(int fd, int folderFd, const std::string& name) {
    if (linkat(fd, "", folderFd, name.c_str(), AT_EMPTY_PATH) == 0)
        return 0;
    if (errno != ENOENT && errno != EPERM)
        return -1;
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
    return linkat(AT_FDCWD, procPath.c_str(), folderFd, name.c_str(), AT_SYMLINK_FOLLOW);
}

// Gives the finished anonymous file a fresh name beside the destination, locked first so that
// no other run takes it for a leftover; a link never replaces an existing name.
bool NameTemporary(int fd, int folderFd, std::string& tempName) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return posix::FailFromErrno();
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = posix::NextTemporaryName();
        if (LinkAnonymous(fd, folderFd, tempName) == 0)
            return TRUE;
        if (errno != EEXIST)
            break;
    }
    return posix::FailFromErrno();
}

bool FlushData(int fd) {
    return fsync(fd) == 0 ? TRUE : posix::FailFromErrno();
}

// Writes the whole copy into a file of this run in the destination's folder, and flushes it:
// an anonymous file where the file system makes one, else a named temporary locked at once.
bool WriteCopy(int from, const struct stat& srcStat, const posix::HostPath& dst, UniqueFd& to,
               std::string& tempName) {
    const int folderFd = dst.folder->fd.get();
    posix::RemoveLeftoverTemporaries(*dst.folder);
    to.reset(openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (to.get() < 0) {
        to.reset(posix::CreateNamedTemporary(folderFd, tempName));
        if (to.get() < 0)
            tempName.clear(); // the last name tried is someone else's
        if (to.get() < 0 || flock(to.get(), LOCK_EX | LOCK_NB) != 0)
            return posix::FailFromErrno();
    }
    return CopyContent(from, srcStat, to.get(), dst.folder->device) &&
           CopyMetadata(to.get(), srcStat) && FlushData(to.get());
}

// Puts the finished copy in place of the destination, whole or not at all. A missing
// destination takes the anonymous file's link itself; any other goes through a temporary name
// and a rename, which replaces it in one step.
bool PlaceCopy(int to, const posix::HostPath& dst, BOOL failIfExists, std::string& tempName) {
    const int folderFd = dst.folder->fd.get();
    if (tempName.empty() && !dst.exists) {
        if (LinkAnonymous(to, folderFd, dst.name) == 0)
            return TRUE;
        if (errno != EEXIST)
            return posix::FailFromErrno();
        if (failIfExists)
            return Fail(ERROR_FILE_EXISTS); // made by someone else since it was looked up
    }
    if (tempName.empty() && !NameTemporary(to, folderFd, tempName))
        return false;
    if (renameat(folderFd, tempName.c_str(), folderFd, dst.name.c_str()) == 0)
        return TRUE;
    const DWORD error = posix::Win32ErrorFromErrno(errno);
    unlinkat(folderFd, tempName.c_str(), 0);
    return Fail(error);
}

} // namespace

BOOL CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    posix::HostPath src, dst;
    UniqueFd from;
    // Only a regular file is copied: a folder, FIFO, socket or device fails at once.
    if (!posix::OpenExisting(lpExistingFileName, src, from))
        return FALSE;
    const struct stat& srcStat = src.st; // the open file's
    // The source is the DLL in hand for its destination's name: a 32-bit one goes to syswow64.
    const std::string_view newName = lpNewFileName ? lpNewFileName : "";
    posix::NoteOpenFileInHand(newName.substr(newName.find_last_of("\\/") + 1), from.get(),
                              static_cast<uint64_t>(srcStat.st_size));
    if (!posix::ResolveForNewName(lpNewFileName, dst) ||
        !CheckDestination(dst, srcStat, bFailIfExists))
        return FALSE;
    UniqueFd to; // holds a temporary's lock until it has become the destination
    std::string tempName;
    if (!WriteCopy(from.get(), srcStat, dst, to, tempName)) {
        const DWORD error = GetLastError();
        if (!tempName.empty())
            unlinkat(dst.folder->fd.get(), tempName.c_str(), 0);
        return Fail(error);
    }
    if (!PlaceCopy(to.get(), dst, bFailIfExists, tempName))
        return FALSE;
    // The new name is durable only once its folder is flushed: the next flush of the volume.
    posix::NoteCopyMade(lpNewFileName, dst);
    return TRUE;
}
