// Changing names found by ResolvePath: removals, shared by DeleteFileA, RemoveDirectoryA and the
// removal through a handle, and new names, shared by the calls that create or rename.
#ifndef DLLINSTALL_POSIX_REMOVAL_H
#define DLLINSTALL_POSIX_REMOVAL_H

#include "paths/dos_path.h"

namespace posix {

// Resolves a path whose last name is to be removed: it must exist, in a folder that was not
// reached through a link (ERROR_ACCESS_DENIED otherwise).
bool ResolveForRemoval(LPCSTR path, HostPath& resolved);

// Resolves a path that is to name a file, new or replaced: its folder must exist and not have
// been reached through a link (ERROR_ACCESS_DENIED otherwise).
bool ResolveForNewName(LPCSTR path, HostPath& resolved);

// True when the name is a link whose target is a folder.
bool IsLinkToFolder(const HostPath& resolved);

// Removes a file or a link to one, as DeleteFileA does.
bool DeleteResolvedFile(const HostPath& resolved);

// Removes an empty folder or a link to a folder, as RemoveDirectoryA does.
bool RemoveResolvedFolder(const HostPath& resolved);

// unlinkat of the name in its folder, with Windows' error for a folder that is not empty.
bool UnlinkResolved(const HostPath& resolved, int flags);

} // namespace posix

#endif
