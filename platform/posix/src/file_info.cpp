#include "file_info.h"

#include <cstring>

namespace posix {

namespace {

// Seconds between 1601-01-01, where FILETIME starts, and the Unix epoch.
constexpr uint64_t kEpochDifference = 11644473600ULL;

FILETIME FileTimeFrom(const timespec& ts) {
    const uint64_t ticks =
        (static_cast<uint64_t>(ts.tv_sec) + kEpochDifference) * 10000000ULL + ts.tv_nsec / 100;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

} // namespace

bool IsReadOnlyMode(mode_t mode) {
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

DWORD AttributesOf(const std::string& hostPath, const struct stat& linkStat) {
    struct stat target = linkStat;
    DWORD attributes = 0;
    if (S_ISLNK(linkStat.st_mode)) {
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        if (stat(hostPath.c_str(), &target) != 0)
            target = linkStat; // a dangling link shows as a file
    }
    if (S_ISDIR(target.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    else
        attributes |= FILE_ATTRIBUTE_ARCHIVE;
    if (IsReadOnlyMode(target.st_mode) && !S_ISLNK(target.st_mode))
        attributes |= FILE_ATTRIBUTE_READONLY;
    const size_t slash = hostPath.rfind('/');
    const char* name = hostPath.c_str() + (slash == std::string::npos ? 0 : slash + 1);
    if (name[0] == '.' && strcmp(name, ".") != 0 && strcmp(name, "..") != 0)
        attributes |= FILE_ATTRIBUTE_HIDDEN; // as Wine shows Unix dot files
    return attributes;
}

bool FillFindData(const std::string& hostFolder, const std::string& name, WIN32_FIND_DATAA& data) {
    const std::string path = hostFolder + "/" + name;
    struct stat linkStat {};
    if (lstat(path.c_str(), &linkStat) != 0)
        return false;
    struct stat st = linkStat;
    if (S_ISLNK(linkStat.st_mode) && stat(path.c_str(), &st) != 0)
        st = linkStat;
    memset(&data, 0, sizeof data);
    data.dwFileAttributes = AttributesOf(path, linkStat);
    data.ftCreationTime = FileTimeFrom(st.st_ctim);
    data.ftLastAccessTime = FileTimeFrom(st.st_atim);
    data.ftLastWriteTime = FileTimeFrom(st.st_mtim);
    if (!S_ISDIR(st.st_mode)) {
        data.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
        data.nFileSizeLow = static_cast<DWORD>(st.st_size);
    }
    // Host names are at most NAME_MAX (255) bytes, so they always fit with the terminator.
    strncpy(data.cFileName, name.c_str(), sizeof data.cFileName - 1);
    return true;
}

} // namespace posix
