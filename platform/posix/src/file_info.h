// What Windows reports about a file: its attributes and its find data.
#ifndef DLLINSTALL_POSIX_FILE_INFO_H
#define DLLINSTALL_POSIX_FILE_INFO_H

#include <windows.h>

#include <string>
#include <sys/stat.h>

namespace posix {

// Attributes of a host file from its lstat record; a link reports its target's kind plus
// FILE_ATTRIBUTE_REPARSE_POINT.
DWORD AttributesOf(const std::string& hostPath, const struct stat& linkStat);

// True when Windows would call the file read-only: no write permission bit at all.
bool IsReadOnlyMode(mode_t mode);

// Fills the find data of one folder entry; false when it vanished since it was listed.
bool FillFindData(const std::string& hostFolder, const std::string& name, WIN32_FIND_DATAA& data);

} // namespace posix

#endif
