#include "files/file_info.h"

#include <cstring>
#include <fcntl.h>

namespace posix {

namespace {

// Seconds between 1601-01-01, where FILETIME starts, and the Unix epoch.
constexpr uint64_t kEpochDifference = 11644473600ULL;

FILETIME FileTimeFrom(const timespec& ts) {
    const uint64_t ticks =
        (static_cast<uint64_t>(ts.tv_sec) + kEpochDifference) * 10000000ULL + ts.tv_nsec / 100;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// What find data and handle information share: attributes, times and size, the rest zero.
template <typename Info>
void FillCommonInfo(const std::string& name, const struct stat& linkStat, const struct stat& target,
                    Info& info) {
    memset(&info, 0, sizeof info);
    info.dwFileAttributes = AttributesFrom(name.c_str(), linkStat, target);
    info.ftCreationTime = FileTimeFrom(target.st_ctim);
    info.ftLastAccessTime = FileTimeFrom(target.st_atim);
    info.ftLastWriteTime = FileTimeFrom(target.st_mtim);
    if (!S_ISDIR(target.st_mode)) {
        info.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(target.st_size) >> 32);
        info.nFileSizeLow = static_cast<DWORD>(target.st_size);
    }
}

} // namespace

bool IsReadOnlyMode(mode_t mode) {
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

struct stat TargetOf(int folderFd, const std::string& name, const struct stat& linkStat) {
    struct stat target = linkStat;
    if (S_ISLNK(linkStat.st_mode) &&
        (folderFd < 0 || fstatat(folderFd, name.c_str(), &target, 0) != 0))
        target = linkStat; // a dangling link shows as a file
    return target;
}

DWORD AttributesOf(int folderFd, const std::string& name, const struct stat& linkStat) {
    return AttributesFrom(name.c_str(), linkStat, TargetOf(folderFd, name, linkStat));
}

DWORD AttributesFrom(const char* name, const struct stat& linkStat, const struct stat& target) {
    DWORD attributes = 0;
    if (S_ISLNK(linkStat.st_mode))
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (S_ISDIR(target.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    else
        attributes |= FILE_ATTRIBUTE_ARCHIVE;
    if (IsReadOnlyMode(target.st_mode) && !S_ISLNK(target.st_mode))
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (name[0] == '.' && strcmp(name, ".") != 0 && strcmp(name, "..") != 0)
        attributes |= FILE_ATTRIBUTE_HIDDEN; // as Wine shows Unix dot files
    return attributes;
}

bool FillFindData(int folderFd, const std::string& name, WIN32_FIND_DATAA& data) {
    // Relative to the folder that was listed: no path walk, and no other folder by mistake.
    struct stat linkStat {};
    if (fstatat(folderFd, name.c_str(), &linkStat, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    struct stat target = linkStat;
    if (S_ISLNK(linkStat.st_mode) && fstatat(folderFd, name.c_str(), &target, 0) != 0)
        target = linkStat;
    FillFindDataFrom(name, linkStat, target, data);
    return true;
}

void FillFindDataFrom(const std::string& name, const struct stat& linkStat,
                      const struct stat& target, WIN32_FIND_DATAA& data) {
    FillCommonInfo(name, linkStat, target, data);
    // Host names are at most NAME_MAX (255) bytes, so they always fit with the terminator.
    strncpy(data.cFileName, name.c_str(), sizeof data.cFileName - 1);
}

void FillHandleInfoFrom(const std::string& name, const struct stat& linkStat,
                        const struct stat& target, BY_HANDLE_FILE_INFORMATION& info) {
    FillCommonInfo(name, linkStat, target, info);
    info.dwVolumeSerialNumber = static_cast<DWORD>(linkStat.st_dev);
    info.nNumberOfLinks = static_cast<DWORD>(linkStat.st_nlink);
    info.nFileIndexHigh = static_cast<DWORD>(static_cast<uint64_t>(linkStat.st_ino) >> 32);
    info.nFileIndexLow = static_cast<DWORD>(linkStat.st_ino);
}

} // namespace posix
