#include "app/installer.h"
#include "fs/folders.h"
#include "messages/messages.h"
#include "version/version.h"

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

bool InstallLibrary(const CFileFind& finder, const CString& systemFolder) {
    const CString source = finder.GetFilePath();
    const CString destination = systemFolder + "\\" + finder.GetFileName();
    const VersionGuard guard = CheckInstalledCopy(source, destination);
    if (guard == VersionGuard::KeepInstalled)
        return true;
    if (guard == VersionGuard::Unreadable || !CopyFileA(source, destination, FALSE))
        return ReportCopyFailure(source, destination);
    LogMessage(FormatMessageText(IDS_COPIED, source, destination));
    return true;
}

bool ReportUnreadable(const CString& libraryFolder) {
    LogMessage(FormatMessageText(IDS_ERR_READ_FOLDER, libraryFolder));
    return false;
}

// Handles every entry the enumeration delivers, the last one included.
bool InstallEntries(CFileFind& finder, const CString& libraryFolder, const CString& systemFolder) {
    for (BOOL more = TRUE; more;) {
        more = finder.FindNextFile();
        const DWORD enumError = more ? ERROR_SUCCESS : GetLastError();
        if (!finder.IsDots() && !finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY) &&
            !InstallLibrary(finder, systemFolder))
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
    if (finder.FindFile(libraryFolder + kLibraryPattern, 0)) {
        if (!InstallEntries(finder, libraryFolder, systemFolder))
            return false; // the folder stays, with every DLL that was not installed
    } else if (!MeansNoMoreEntries(GetLastError())) {
        return ReportUnreadable(libraryFolder);
    }
    finder.Close();
    RemoveFolderTree(libraryFolder);
    return true;
}
