#include "guarded_read.h"
#include "version/version.h"

// The layer's reader never faults: the reading runs as it is.
GuardedRead ReadProductVersionGuarded(const char* path, CString& version) {
    return ReadProductVersion(path, version) ? GuardedRead::kRead : GuardedRead::kUnreadable;
}
