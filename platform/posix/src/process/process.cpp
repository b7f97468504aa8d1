// The process's own facts: its module, command line, system folder and COM.
#include "common/last_error.h"
#include "paths/dos_path.h"
#include "paths/system_view.h"
#include "process/modules.h"
#include "view/thirty_two_bit_view.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <objbase.h>
#include <unistd.h>

namespace {

// Windows has no SIGPIPE: output to a console or pipe that went away just fails, and the run
// goes on to write its log file. Here the signal would end the process instead.
const bool g_ignoresBrokenPipes = signal(SIGPIPE, SIG_IGN) != SIG_ERR;

// A program that asks for its system folder gets the one of the DLL it has in hand; the process
// sets that up as it starts, being the layer above both the path layer and the readers.
const bool g_showsEachDllItsSystemFolder = (posix::InstallThirtyTwoBitView(), true);

// Copies text into a caller's buffer the way GetModuleFileNameA does: a text that does not
// fit is cut to nSize - 1 characters plus the terminator, returns nSize and reports
// ERROR_INSUFFICIENT_BUFFER.
DWORD CopyOutTruncating(const std::string& text, LPSTR buffer, DWORD nSize) {
    if (nSize == 0)
        return posix::Fail(ERROR_INSUFFICIENT_BUFFER);
    if (text.size() + 1 > nSize) {
        memcpy(buffer, text.data(), nSize - 1);
        buffer[nSize - 1] = '\0';
        posix::Fail(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return std::string();
    buffer[length] = '\0';
    return posix::DosPathFromHost(buffer);
}

// The program folder is held open from the moment the program learns its path: whoever may
// write in it can swap what lies below it, never the folder itself.
void HoldProgramFolder(const std::string& path) {
    static bool s_held = false;
    const size_t backslash = path.rfind('\\');
    if (s_held || backslash == std::string::npos)
        return;
    s_held = posix::HoldFolderAt(path.substr(0, backslash == 2 ? 3 : backslash).c_str());
}

} // namespace

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
    if (!lpModuleName)
        return posix::ExecutableModule();
    posix::Fail(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

LPSTR GetCommandLineA() {
    static std::string s_commandLine;
    if (s_commandLine.empty()) {
        if (FILE* file = fopen("/proc/self/cmdline", "rb")) {
            int c;
            while ((c = fgetc(file)) != EOF)
                s_commandLine.push_back(c == '\0' ? ' ' : static_cast<char>(c));
            fclose(file);
        }
        while (!s_commandLine.empty() && s_commandLine.back() == ' ')
            s_commandLine.pop_back();
    }
    return s_commandLine.data();
}

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    std::string path;
    if (!hModule || hModule == posix::ExecutableModule())
        path = ExecutablePath();
    else if (posix::IsShellFolderModule(hModule))
        path = posix::kSystemFolder + std::string("\\shfolder.dll");
    else
        return posix::Fail(ERROR_MOD_NOT_FOUND);
    // No path at all, or one through a folder whose name Windows could not hold: a program
    // folder such as "prod." would otherwise be read as its sibling "prod".
    if (path.empty())
        return posix::Fail(ERROR_FILE_NOT_FOUND);
    HoldProgramFolder(path);
    return CopyOutTruncating(path, lpFilename, nSize);
}

UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    const size_t length = strlen(posix::kSystemFolder);
    if (!lpBuffer || uSize < length + 1)
        return static_cast<UINT>(length + 1);
    memcpy(lpBuffer, posix::kSystemFolder, length + 1);
    return static_cast<UINT>(length);
}

HRESULT CoInitialize(LPVOID) {
    return S_OK;
}
