// Volumes and flushes: "\\.\X:" opens the drive's root folder, and FlushFileBuffers puts a
// file, or the names a volume received, on stable storage.
#include "files/volume.h"
#include "common/handles.h"
#include "common/last_error.h"
#include "files/named_folders.h"
#include "paths/drives.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace posix {

bool IsVolumePath(LPCSTR path) {
    return path && path[0] == '\\' && path[1] == '\\' && path[2] == '.' && path[3] == '\\' &&
           std::isalpha(static_cast<unsigned char>(path[4])) && path[5] == ':' && path[6] == '\0';
}

HANDLE OpenVolume(LPCSTR path) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[4])));
    for (const Drive& drive : PrefixDrives()) {
        if (drive.letter != letter)
            continue;
        const std::string root = drive.root.empty() ? "/" : drive.root;
        const int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            FailFromErrno();
            return INVALID_HANDLE_VALUE;
        }
        SetLastError(ERROR_SUCCESS);
        return RegisterHandle(new FileObject(fd, true));
    }
    Fail(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

} // namespace posix

BOOL FlushFileBuffers(HANDLE hFile) {
    auto* file =
        static_cast<posix::FileObject*>(posix::LookUpHandle(hFile, posix::HandleKind::File));
    if (!file)
        return FALSE;
    // A volume's flush is that of the folders that received copies, on whichever file system
    // each lives, never a whole shared disk; the copies' data was flushed before their names.
    if (file->volume)
        return posix::FlushNamedFolders() ? TRUE : FALSE;
    if (fsync(file->fd) != 0)
        return posix::FailFromErrno();
    return file->copyFolderFd < 0 || posix::FlushFolder(file->copyFolderFd) ? TRUE : FALSE;
}
