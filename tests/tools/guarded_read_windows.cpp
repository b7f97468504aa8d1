#include "guarded_read.h"
#include "version/version.h"

#include <windows.h>

namespace {

struct Job {
    const char* path;
    CString version;
    bool read = false;
};

DWORD g_worker = 0;

// A fault that nothing handled on the reading's thread ends that thread, not the process.
LONG WINAPI EndFaultingWorker(EXCEPTION_POINTERS*) {
    if (GetCurrentThreadId() == g_worker)
        ExitThread(2);
    return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI Read(LPVOID parameter) {
    Job* job = static_cast<Job*>(parameter);
    job->read = ReadProductVersion(job->path, job->version);
    return 0;
}

} // namespace

GuardedRead ReadProductVersionGuarded(const char* path, CString& version) {
    static const LPTOP_LEVEL_EXCEPTION_FILTER previous =
        SetUnhandledExceptionFilter(EndFaultingWorker);
    (void)previous;
    Job job{path, CString(), false};
    HANDLE thread = CreateThread(nullptr, 0, Read, &job, CREATE_SUSPENDED, &g_worker);
    if (!thread)
        return GuardedRead::kUnreadable;
    ResumeThread(thread);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    version = job.version;
    if (code != 0)
        return GuardedRead::kFault;
    return job.read ? GuardedRead::kRead : GuardedRead::kUnreadable;
}
