// The version guard: a DLL's product version and the ranking of two versions.
#ifndef DLLINSTALL_VERSION_H
#define DLLINSTALL_VERSION_H

#include <afx.h>

enum VersionOrder {
    VERSION_UNKNOWN = -1, // one side has no version
    VERSION_EQUAL = 0,
    VERSION_NEWER = 1, // the first ranks above the second
    VERSION_OLDER = 2, // the first ranks below the second
};

// The "ProductVersion" text of the file's first translation; empty when it has none.
CString GetProductVersion(CString path);

// The same, but false when the file could not be read at all, so that an unreadable file is
// never taken for one without a version.
bool ReadProductVersion(CString path, CString& version);

// Ranks two dotted versions by their first four numbers.
int CompareVersions(CString a, CString b);

#endif
