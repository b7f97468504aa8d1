#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testing_support {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> PointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Only async-signal-safe calls here: the parent may have threads.
[[noreturn]] void BecomeProgram(char* const* argv, char* const* envp, const char* folder, int out,
                                int err, const char* errorFile) {
    setpgid(0, 0);
    umask(022); // what a user's shell has, so that created files have the modes users see
    const int in = open("/dev/null", O_RDONLY);
    if (*errorFile)
        err = open(errorFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        chdir(folder) != 0)
        _exit(127);
    // A copy of the program that another thread's child still holds open for writing cannot be
    // started (ETXTBSY) until that child has gone.
    for (int attempt = 0; attempt < 200; ++attempt) {
        execve(argv[0], argv, envp);
        if (errno != ETXTBSY)
            break;
        const timespec pause{0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    _exit(127);
}

// Reads what the pipe holds now; false once the writing side has closed it.
bool ReadAvailable(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<size_t>(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EINTR);
    }
}

struct Pipe {
    int read = -1;
    int write = -1;
    bool Open() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return false;
        read = fds[0];
        write = fds[1];
        return fcntl(read, F_SETFL, O_NONBLOCK) == 0;
    }
    void Close() {
        if (read >= 0)
            close(read);
        if (write >= 0)
            close(write);
        read = write = -1;
    }
};

void NoteEnd(int waitStatus, ProcessResult& result) {
    result.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    result.signal = WIFSIGNALED(waitStatus) ? WTERMSIG(waitStatus) : 0;
}

// Collects the output until the child exits; a helper it left behind (a wineserver) may keep
// the pipes open, so the end of the child, not the end of the pipes, ends the wait. A pidfd
// wakes the wait at the child's end; without one, the wait looks every few milliseconds.
void Supervise(pid_t pid, Pipe& out, Pipe& err, Clock::time_point deadline, ProcessResult& result) {
    const int exited = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    bool outOpen = true, errOpen = true;
    for (int waitStatus = 0;;) {
        if (waitpid(pid, &waitStatus, WNOHANG) == pid) {
            ReadAvailable(out.read, result.out);
            ReadAvailable(err.read, result.err);
            NoteEnd(waitStatus, result);
            break;
        }
        if (Clock::now() > deadline) {
            kill(-pid, SIGKILL);
            waitpid(pid, &waitStatus, 0);
            result.failure = "still running at the deadline, killed";
            break;
        }
        pollfd fds[3] = {{outOpen ? out.read : -1, POLLIN, 0},
                         {errOpen ? err.read : -1, POLLIN, 0},
                         {exited, POLLIN, 0}};
        poll(fds, 3, exited >= 0 ? 100 : 5);
        outOpen = outOpen && ReadAvailable(out.read, result.out);
        errOpen = errOpen && ReadAvailable(err.read, result.err);
    }
    if (exited >= 0)
        close(exited);
}

} // namespace

ProcessResult RunProcess(const Launch& launch) {
    ProcessResult result;
    std::vector<std::string> args = launch.argv, vars = launch.environment;
    const std::vector<char*> argp = PointersTo(args), envp = PointersTo(vars);
    const std::string folder = launch.workingFolder.string(), errorFile = launch.errorFile.string();
    Pipe out, err;
    if (launch.argv.empty() || !out.Open() || !err.Open()) {
        result.failure = "cannot make pipes: " + std::string(strerror(errno));
        out.Close();
        err.Close();
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0)
        BecomeProgram(argp.data(), envp.data(), folder.c_str(), out.write, err.write,
                      errorFile.c_str());
    close(out.write);
    close(err.write);
    out.write = err.write = -1;
    if (pid < 0) {
        result.failure = "fork failed: " + std::string(strerror(errno));
    } else {
        setpgid(pid, pid); // either side may win the race; both ask for the same group
        Supervise(pid, out, err, Clock::now() + launch.deadline, result);
    }
    out.Close();
    err.Close();
    if (result.status == 127 && result.failure.empty() && result.out.empty())
        result.failure = "exit status 127: " + launch.argv[0] + " could not be started";
    return result;
}

ProcessResult RunUnderWine(const Launch& launch) {
    ProcessResult result = RunProcess(launch);
    std::error_code ignored;
    const bool silent =
        result.out.empty() && result.err.empty() &&
        (launch.errorFile.empty() || std::filesystem::file_size(launch.errorFile, ignored) == 0);
    if (result.failure.empty() && result.status == 1 && silent) {
        std::cout << "[   NOTE   ] Wine exited 1 without a word running " << launch.argv.back()
                  << "; ran it once more" << std::endl;
        result = RunProcess(launch);
        result.retried = true;
    }
    return result;
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& overrides) {
    std::vector<std::string> env;
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    const auto add = [&](const std::string& entry) {
        for (const std::string& taken : env)
            if (nameOf(taken) == nameOf(entry))
                return;
        env.push_back(entry);
    };
    // The last override of a name wins over earlier ones and over the inherited value.
    for (auto it = overrides.rbegin(); it != overrides.rend(); ++it)
        add(*it);
    for (char** entry = environ; *entry; ++entry)
        add(*entry);
    return env;
}

std::string Describe(const ProcessResult& result) {
    if (!result.failure.empty())
        return result.failure;
    if (result.signal != 0)
        return "killed by signal " + std::to_string(result.signal);
    return "status " + std::to_string(result.status) + (result.retried ? " (run twice)" : "");
}

} // namespace testing_support
