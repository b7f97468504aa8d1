#include "app/installer.h"
#include "fs/device_name.h"
#include "fs/folders.h"
#include "messages/messages.h"
#include "version/version.h"

#include <set>
#include <string>
#include <vector>

namespace {

// The only enumeration failures that mean "nothing (more) to list" rather than "unreadable".
bool MeansNoMoreEntries(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
}

enum class VersionGuard { Copy, KeepInstalled, Unreadable };

// The installed copy wins only when it ranks strictly above the one offered. A file that cannot
// be read is not taken for one without a version: that would put an older DLL over a newer one.
VersionGuard CheckInstalledCopy(const CString& source, const CString& destination) {
    SetLastError(ERROR_SUCCESS);
    if (!FileExists(destination))
        return IsReadFailure(GetLastError()) ? VersionGuard::Unreadable : VersionGuard::Copy;
    CString installedVersion, offeredVersion;
    if (!ReadProductVersion(destination, installedVersion) ||
        !ReadProductVersion(source, offeredVersion))
        return VersionGuard::Unreadable;
    if (CompareVersions(offeredVersion, installedVersion) == VERSION_OLDER)
        return VersionGuard::KeepInstalled;
    return VersionGuard::Copy;
}

bool ReportCopyFailure(const CString& source, const CString& destination) {
    LogMessage(FormatMessageText(IDS_ERR_COPY, source, destination));
    return false;
}

// What the copy phase did with the DLLs of the folder, by name: which may be deleted with it.
struct HandledLibraries {
    std::set<std::string> removable; // skipped for a newer installed copy, or copied and flushed
    std::vector<CString> copied;     // copied, not yet known to be on stable storage
};

bool InstallLibrary(const CFileFind& finder, const CString& systemFolder,
                    HandledLibraries& handled) {
    const CString source = finder.GetFilePath();
    const CString destination = systemFolder + "\\" + finder.GetFileName();
    const VersionGuard guard = CheckInstalledCopy(source, destination);
    if (guard == VersionGuard::KeepInstalled) {
        handled.removable.insert(LPCSTR(finder.GetFileName()));
        return true;
    }
    if (guard == VersionGuard::Unreadable || !CopyFileA(source, destination, FALSE))
        return ReportCopyFailure(source, destination);
    LogMessage(FormatMessageText(IDS_COPIED, source, destination));
    handled.copied.push_back(finder.GetFileName());
    return true;
}

// One flush of the volume for every copy; where the system cannot flush a volume, each copy
// by its own handle, and a copy that cannot be flushed keeps its source.
void FlushCopies(const CString& systemFolder, HandledLibraries& handled) {
    const bool volumeFlushed = !handled.copied.empty() && FlushVolumeOf(systemFolder);
    for (const CString& name : handled.copied) {
        if (volumeFlushed || FlushFile(systemFolder + "\\" + name))
            handled.removable.insert(LPCSTR(name));
    }
}

bool EndsWithDll(const CString& name) {
    const int length = name.GetLength();
    if (length < 4)
        return false;
    LPCSTR tail = LPCSTR(name) + length - 4;
    return tail[0] == '.' && (tail[1] | 0x20) == 'd' && (tail[2] | 0x20) == 'l' &&
           (tail[3] | 0x20) == 'l';
}

// A DLL that arrived while the run was going, or whose copy may not survive a power cut, stays
// with the folder for the next run.
void RemoveHandledFolder(const CString& libraryFolder, const HandledLibraries& handled) {
    RemoveFolderTreeExcept(libraryFolder, [&handled](const CString& name) {
        return EndsWithDll(name) && handled.removable.count(LPCSTR(name)) == 0;
    });
}

bool ReportUnreadable(const CString& libraryFolder) {
    LogMessage(FormatMessageText(IDS_ERR_READ_FOLDER, libraryFolder));
    return false;
}

// Handles every entry the enumeration delivers, the last one included.
bool InstallEntries(CFileFind& finder, const CString& libraryFolder, const CString& systemFolder,
                    HandledLibraries& handled) {
    for (BOOL more = TRUE; more;) {
        more = finder.FindNextFile();
        const DWORD enumError = more ? ERROR_SUCCESS : GetLastError();
        // A device name is no file: a path with it would open the device. It stays in LIB.
        if (!finder.IsDots() && !finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY) &&
            !IsDeviceName(finder.GetFileName()) && !InstallLibrary(finder, systemFolder, handled))
            return false;
        // Entries never seen must not be deleted with the folder.
        if (!more && !MeansNoMoreEntries(enumError))
            return ReportUnreadable(libraryFolder);
    }
    return true;
}

} // namespace

bool InstallLibraryFolder(const CString& programFolder, const CString& systemFolder) {
    const CString libraryFolder = programFolder + kLibraryFolderName;
    if (!IsFolder(libraryFolder)) {
        LogMessage(FormatMessageText(IDS_ERR_NO_SOURCE_FOLDER, libraryFolder));
        return true;
    }
    LogMessage(LoadMessageText(IDS_COPYING_DLLS));
    CFileFind finder;
    HandledLibraries handled;
    if (finder.FindFile(libraryFolder + kLibraryPattern, 0)) {
        if (!InstallEntries(finder, libraryFolder, systemFolder, handled))
            return false; // the folder stays, with every DLL that was not installed
    } else if (!MeansNoMoreEntries(GetLastError())) {
        return ReportUnreadable(libraryFolder);
    }
    finder.Close();
    FlushCopies(systemFolder, handled);
    RemoveHandledFolder(libraryFolder, handled);
    return true;
}
