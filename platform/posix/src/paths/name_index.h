// Case-insensitive lookup of a name in a host folder, as Windows finds names.
#ifndef DLLINSTALL_POSIX_NAME_INDEX_H
#define DLLINSTALL_POSIX_NAME_INDEX_H

#include "paths/open_folders.h"

#include <string>
#include <sys/stat.h>

namespace posix {

// What a case-insensitive lookup found. Failed means the folder could not be read, with errno
// telling why: a name must never be taken for absent because its folder was unreadable, or a
// second file differing only in case would be created beside it.
enum class NameLookup { Found, Absent, Failed };

// Finds the entry of the folder (host path, "" for the root) whose name equals `name` without
// regard to case, and gives its name as it is on disk. Where several entries differ only in
// case, the first the folder lists wins.
NameLookup FindNameIgnoringCase(const std::string& folder, const std::string& name,
                                std::string& found);

// The same in a folder held open.
NameLookup FindNameIgnoringCase(const OpenFolder& folder, const std::string& name,
                                std::string& found);

} // namespace posix

#endif
