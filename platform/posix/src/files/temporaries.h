// The temporaries CopyFileA writes beside a destination: ".~<pid>-<n>.dllinstall".
#ifndef DLLINSTALL_POSIX_TEMPORARIES_H
#define DLLINSTALL_POSIX_TEMPORARIES_H

#include <string>

namespace posix {

// A path in the folder that no other run uses: another process has another id, and this one
// counts.
std::string NextTemporaryPath(const std::string& folder);

// Creates a named temporary under a fresh name, exclusively, never a file another run made;
// -1 with errno set on failure.
int CreateNamedTemporary(const std::string& folder, std::string& tempPath);

// Removes from the folder the temporaries of runs that were killed, whatever file they were
// copying, but never one whose writer still holds its lock; once per folder in a process.
void RemoveLeftoverTemporaries(const std::string& folder);

} // namespace posix

#endif
