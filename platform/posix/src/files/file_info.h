// What Windows reports about a file: its attributes and its find data.
#ifndef DLLINSTALL_POSIX_FILE_INFO_H
#define DLLINSTALL_POSIX_FILE_INFO_H

#include <windows.h>

#include <string>
#include <sys/stat.h>

namespace posix {

// Attributes of the entry `name` of an open folder from its lstat record; a link reports its
// target's kind plus FILE_ATTRIBUTE_REPARSE_POINT. A folderFd of -1 takes the record as it is.
DWORD AttributesOf(int folderFd, const std::string& name, const struct stat& linkStat);

// What the entry `name` of an open folder points to, from its lstat record; the link itself
// where it dangles, and the record as it is for anything else.
struct stat TargetOf(int folderFd, const std::string& name, const struct stat& linkStat);

// The same from both records, for a caller that has already followed the link: target is the
// link's target, or the link itself where it dangles.
DWORD AttributesFrom(const char* name, const struct stat& linkStat, const struct stat& target);

// True when Windows would call the file read-only: no write permission bit at all.
bool IsReadOnlyMode(mode_t mode);

// Fills the find data of one entry of the open folder; false with errno set by fstatat when it
// cannot be read, ENOENT when it vanished since it was listed.
bool FillFindData(int folderFd, const std::string& name, WIN32_FIND_DATAA& data);

// Fills find data from records already taken, as AttributesFrom takes them.
void FillFindDataFrom(const std::string& name, const struct stat& linkStat,
                      const struct stat& target, WIN32_FIND_DATAA& data);

// Fills what GetFileInformationByHandle reports from records already taken.
void FillHandleInfoFrom(const std::string& name, const struct stat& linkStat,
                        const struct stat& target, BY_HANDLE_FILE_INFORMATION& info);

} // namespace posix

#endif
