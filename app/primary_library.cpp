#include "app/installer.h"
#include "fs/folders.h"
#include "messages/messages.h"

bool MovePrimaryLibrary(const CString& programFolder, const CString& systemFolder) {
    const CString source = programFolder + kPrimaryLibraryName;
    const CString destination = systemFolder + "\\" + kPrimaryLibraryName;
    // A second run finds the library already moved, and that is no failure.
    if (!FileExists(source))
        return true;
    if (!CopyFileA(source, destination, FALSE)) {
        LogMessage(FormatMessageText(IDS_ERR_COPY, source, destination));
        return false;
    }
    LogMessage(FormatMessageText(IDS_COPIED, source, destination));
    DeleteFileA(source); // a source left behind is copied again by the next run
    return true;
}
