#include "app/installer.h"
#include "messages/messages.h"

#include <cctype>

namespace {

// Object names may not hold "\", and the same folder in any case is the same folder.
CString MutexNameFor(const CString& systemFolder) {
    CString name = "Global\\dllinstall:";
    for (LPCSTR c = systemFolder; *c; ++c)
        name += *c == '\\' ? '/' : static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    return name;
}

} // namespace

HANDLE TakeRunLock(const CString& systemFolder) {
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, MutexNameFor(systemFolder));
    if (!mutex)
        return nullptr;
    DWORD wait = WaitForSingleObject(mutex, 0);
    // A run that waits says why, or it would look hung; the log tells only what the run did.
    if (wait == WAIT_TIMEOUT) {
        ShowMessage(FormatMessageText(IDS_WAITING_FOR_OTHER_RUN, systemFolder));
        wait = WaitForSingleObject(mutex, INFINITE);
    }
    // An abandoned mutex was held by a run that was killed: what it left is this run's to finish.
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
        return mutex;
    CloseHandle(mutex);
    return nullptr;
}

void ReleaseRunLock(HANDLE lock) {
    if (!lock)
        return;
    ReleaseMutex(lock);
    CloseHandle(lock);
}
