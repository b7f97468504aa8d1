#include "tool_run.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tool_run {

namespace {

bool InheritsVariable(const std::string& entry) {
    for (const char* name : {"WINEPREFIX=", "LD_PRELOAD=", "ASAN_OPTIONS=", "DLLINSTALL_FAULT_"}) {
        if (entry.rfind(name, 0) == 0)
            return false;
    }
    return true;
}

std::vector<std::string> ChildEnvironment(const fs::path& prefix, const Environment& extra,
                                          bool interposed) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        if (InheritsVariable(*entry))
            variables.emplace_back(*entry);
    }
    variables.push_back("WINEPREFIX=" + prefix.string());
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string asanOptions = asan ? asan : "";
    if (interposed) {
        variables.push_back(std::string("LD_PRELOAD=") + DLLINSTALL_INTERPOSER);
        // A sanitized build would otherwise refuse a library loaded before its runtime.
        asanOptions += (asanOptions.empty() ? "" : ":") + std::string("verify_asan_link_order=0");
    }
    if (!asanOptions.empty())
        variables.push_back("ASAN_OPTIONS=" + asanOptions);
    for (const auto& [name, value] : extra)
        variables.push_back(name + "=" + value);
    return variables;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[65536];
    for (off_t offset = 0;;) {
        const ssize_t got = pread(fd, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return text;
        text.append(buffer, static_cast<size_t>(got));
        offset += got;
    }
}

// Runs in the forked child, which may only make system calls: everything else is ready.
[[noreturn]] void ExecTool(const char* folder, const char* program, char* const argv[],
                           char* const envp[], int out, int err) {
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing < 0 || dup2(nothing, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        chdir(folder) != 0)
        _exit(126);
    // Another worker's child, forked while this copy of the tool was being written, may still
    // hold it open for writing: exec then fails with ETXTBSY until that child has gone.
    for (int attempt = 0; attempt < 200; ++attempt) {
        execve(program, argv, envp);
        if (errno != ETXTBSY)
            break;
        const timespec pause{0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    _exit(127);
}

RunResult Collect(pid_t child, int out, int err) {
    int wstatus = 0;
    while (waitpid(child, &wstatus, 0) < 0 && errno == EINTR) {
    }
    RunResult result;
    if (WIFEXITED(wstatus))
        result.status = WEXITSTATUS(wstatus);
    else if (WIFSIGNALED(wstatus))
        result.signal = WTERMSIG(wstatus);
    result.console = ReadAll(out);
    result.errors = ReadAll(err);
    return result;
}

} // namespace

fs::path PlaceTool(const fs::path& programFolder) {
    const fs::path tool = programFolder / kToolName;
    std::error_code error;
    fs::create_hard_link(DLLINSTALL_LINUX_EXE, tool, error);
    if (error)
        fs::copy_file(DLLINSTALL_LINUX_EXE, tool, fs::copy_options::overwrite_existing);
    return tool;
}

RunResult RunTool(const fs::path& programFolder, const fs::path& prefix, const Environment& extra,
                  bool interposed) {
    std::vector<std::string> variables = ChildEnvironment(prefix, extra, interposed);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string program = (programFolder / kToolName).string();
    char* argv[] = {program.data(), nullptr};
    const int out = memfd_create("dllinstall-stdout", MFD_CLOEXEC);
    const int err = memfd_create("dllinstall-stderr", MFD_CLOEXEC);
    if (out < 0 || err < 0)
        throw std::runtime_error("memfd_create failed");
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0)
        ExecTool(programFolder.c_str(), program.c_str(), argv, envp.data(), out, err);
    RunResult result = Collect(child, out, err);
    close(out);
    close(err);
    return result;
}

std::string Describe(const RunResult& result) {
    if (result.signal != 0)
        return "killed by signal " + std::to_string(result.signal);
    return "status " + std::to_string(result.status);
}

std::string LogFromConsole(const std::string& console) {
    std::string log;
    for (size_t i = 0; i < console.size(); ++i) {
        if (console[i] == '\n' && (i == 0 || console[i - 1] != '\r'))
            log += '\r';
        log += console[i];
    }
    return log;
}

std::string DosPathOf(const fs::path& hostPath) {
    std::string path = "Z:" + hostPath.string();
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

fs::path SystemFolderOf(const fs::path& prefix) {
    return prefix / "drive_c" / "windows" / "system32";
}

std::string Filler(size_t size, unsigned salt) {
    std::string bytes(size, '\0');
    unsigned state = salt * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

Installation::Installation(const std::string& tag, const Placement& place)
    : root(tag), program(place ? place(root.path()) : root.path() / "program"),
      lib(program / "LIB"), prefix(root.path() / "prefix"), system(SystemFolderOf(prefix)) {
    fs::create_directories(lib);
    testing_support::MakePrefix(prefix);
    testing_support::WriteBytes(program / "Tarvik.dll", Filler(4096, 7));
    PlaceTool(program);
}

RunResult Installation::Run(const Environment& extra, bool interposed) const {
    return RunTool(program, prefix, extra, interposed);
}

std::string Installation::Log() const {
    const fs::path log = program / kLogName;
    return fs::exists(log) ? testing_support::ReadBytes(log) : std::string();
}

} // namespace tool_run
