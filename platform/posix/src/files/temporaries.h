// The temporaries CopyFileA writes beside a destination: ".~<pid>-<n>.dllinstall".
#ifndef DLLINSTALL_POSIX_TEMPORARIES_H
#define DLLINSTALL_POSIX_TEMPORARIES_H

#include "paths/open_folders.h"

#include <string>

namespace posix {

// A name that no other run uses in any folder: another process has another id, and this one
// counts.
std::string NextTemporaryName();

// Creates a named temporary under a fresh name in the open folder, exclusively, never a file
// another run made; -1 with errno set on failure.
int CreateNamedTemporary(int folderFd, std::string& tempName);

// Removes from the held folder the temporaries of runs that were killed, whatever file they
// were copying, but never one whose writer still holds its lock; once per folder in a process.
void RemoveLeftoverTemporaries(const OpenFolder& folder);

} // namespace posix

#endif
