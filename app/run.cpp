#include "app/installer.h"
#include "fs/folders.h"
#include "messages/messages.h"

#include <afxwin.h>
#include <shlobj.h>

namespace {

// The folder of this executable, with its trailing "\".
bool GetProgramFolder(CString& folder) {
    char modulePath[MAX_PATH];
    const DWORD length = GetModuleFileNameA(AfxGetInstanceHandle(), modulePath, MAX_PATH);
    // A path that fills the whole buffer has been cut off and would name a wrong folder.
    if (length == 0 || length >= MAX_PATH)
        return false;
    folder = GetFolderOfPath(modulePath);
    return true;
}

int InstallAndLog(const CString& programFolder, const CString& systemFolder) {
    if (!MovePrimaryLibrary(programFolder, systemFolder) ||
        !InstallLibraryFolder(programFolder, systemFolder))
        return 1;
    LogMessage(LoadMessageText(IDS_DONE));
    WriteTextFile(programFolder + kLogFileName, g_strLog);
    return 0;
}

} // namespace

int RunInstallation() {
    LogMessage(LoadMessageText(IDS_START));
    CString programFolder;
    if (!GetProgramFolder(programFolder)) {
        LogMessage(LoadMessageText(IDS_ERR_TARGET_PATH));
        return 1;
    }
    const CString systemFolder = GetShellFolderPath(CSIDL_SYSTEM);
    if (systemFolder.IsEmpty()) {
        LogMessage(LoadMessageText(IDS_ERR_SYSTEM_FOLDER));
        return 1;
    }
    // Two runs at once would interleave their version checks and copies.
    const HANDLE runLock = TakeRunLock(systemFolder);
    const int status = InstallAndLog(programFolder, systemFolder);
    ReleaseRunLock(runLock);
    return status;
}
