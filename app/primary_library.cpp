#include "app/installer.h"
#include "fs/folders.h"
#include "messages/messages.h"

bool MovePrimaryLibrary(const CString& programFolder, const CString& systemFolder) {
    const CString source = programFolder + kPrimaryLibraryName;
    const CString destination = systemFolder + "\\" + kPrimaryLibraryName;
    // A second run finds the library already moved, and that is no failure; a check that
    // cannot tell is no "absent", or the library would never be installed.
    SetLastError(ERROR_SUCCESS);
    const bool present = FileExists(source);
    if (!present && !IsReadFailure(GetLastError()))
        return true;
    if (!present || !CopyFileA(source, destination, FALSE)) {
        LogMessage(FormatMessageText(IDS_ERR_COPY, source, destination));
        return false;
    }
    LogMessage(FormatMessageText(IDS_COPIED, source, destination));
    // The source goes only once its copy would survive a power cut; a source left behind is
    // copied again by the next run.
    if (FlushVolumeOf(systemFolder) || FlushFile(destination))
        DeleteFileA(source);
    return true;
}
