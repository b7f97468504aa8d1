// Reads a file's product version so that a fault inside the system's version reader costs only
// that one reading: on Windows the reading runs on a thread of its own, which a fault ends.
#ifndef DLLINSTALL_TESTS_GUARDED_READ_H
#define DLLINSTALL_TESTS_GUARDED_READ_H

#include <afx.h>

enum class GuardedRead { kRead, kUnreadable, kFault };

GuardedRead ReadProductVersionGuarded(const char* path, CString& version);

#endif
