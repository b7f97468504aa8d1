// Folders held open by descriptor. The tool runs as root in folders that others can write to:
// a folder reached once is used through its descriptor from then on, so a folder swapped for
// a link after it was reached never leads anywhere else.
#ifndef DLLINSTALL_POSIX_OPEN_FOLDERS_H
#define DLLINSTALL_POSIX_OPEN_FOLDERS_H

#include "common/unique_fd.h"

#include <memory>
#include <string>
#include <sys/types.h>

namespace posix {

struct OpenFolder {
    OpenFolder(int descriptor, bool viaLink, dev_t dev, ino_t ino)
        : fd(descriptor), throughLink(viaLink), device(dev), inode(ino) {}
    UniqueFd fd;      // O_PATH, so that a folder the runner may not list can still be held
    bool throughLink; // a link was followed to reach it from a folder already held
    dev_t device;     // which folder it is, for as long as it is held
    ino_t inode;
};

using FolderRef = std::shared_ptr<const OpenFolder>;

// The folder held under that host path, or null; one removed meanwhile is no longer held.
FolderRef HeldFolder(const std::string& hostPath);

// The same without asking whether the folder was removed meanwhile, for a lookup in it: a
// removed folder holds no names, so a name found in it proves it is there, and only a miss must
// ask FolderIsGone.
FolderRef HeldFolderAsLastSeen(const std::string& hostPath);

// True when the held folder was removed since (by anyone): it is then no longer held.
bool ForgetIfGone(const OpenFolder& folder, const std::string& hostPath);

// Holds a folder just opened (fd) under its host path, replacing any held there.
FolderRef HoldFolder(const std::string& hostPath, int fd, bool throughLink);

// Opens a host folder by its path, following links, and holds it: the program folder and the
// system folders, which are where the tool starts from.
FolderRef HoldFolderByPath(const std::string& hostPath);

// Opens the child folder `name` of a held folder without following a link; where it is a link,
// follows it and marks the result as reached through one. Fails with errno set (ENOTDIR for
// anything that is no folder).
FolderRef OpenChildFolder(const FolderRef& parent, const std::string& parentPath,
                          const std::string& name);

// Forgets the folder held at that host path and every one held below it, once it is removed.
void ForgetFoldersAt(const std::string& hostPath);

// A descriptor that can list or flush the folder open as folderFd (O_PATH will do): a new open
// of the folder itself, never of a path.
int ReopenForReading(int folderFd);

} // namespace posix

#endif
