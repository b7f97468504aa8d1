#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace e2e {

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
                                int err) {
    setpgid(0, 0);
    umask(022); // what a user's shell has, so that created files have the modes users see
    const int in = open("/dev/null", O_RDONLY);
    if (in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(folder) != 0)
        _exit(127);
    execve(argv[0], argv, envp);
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

std::string DescribeWaitStatus(int waitStatus) {
    if (WIFSIGNALED(waitStatus))
        return "killed by signal " + std::to_string(WTERMSIG(waitStatus));
    return {};
}

// Collects the output until the child exits; a helper it left behind (a wineserver) may keep
// the pipes open, so the end of the child, not the end of the pipes, ends the wait.
void Supervise(pid_t pid, Pipe& out, Pipe& err, Clock::time_point deadline, ProcessResult& result) {
    bool outOpen = true, errOpen = true;
    for (int waitStatus = 0;;) {
        if (waitpid(pid, &waitStatus, WNOHANG) == pid) {
            ReadAvailable(out.read, result.out);
            ReadAvailable(err.read, result.err);
            result.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
            result.failure = DescribeWaitStatus(waitStatus);
            return;
        }
        if (Clock::now() > deadline) {
            kill(-pid, SIGKILL);
            waitpid(pid, &waitStatus, 0);
            result.failure = "still running at the deadline, killed";
            return;
        }
        pollfd fds[2] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}};
        fds[0].fd = outOpen ? out.read : -1;
        fds[1].fd = errOpen ? err.read : -1;
        poll(fds, 2, 5);
        outOpen = outOpen && ReadAvailable(out.read, result.out);
        errOpen = errOpen && ReadAvailable(err.read, result.err);
    }
}

} // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::filesystem::path& workingFolder, std::chrono::seconds timeout) {
    ProcessResult result;
    std::vector<std::string> args = argv, vars = env;
    const std::vector<char*> argp = PointersTo(args), envp = PointersTo(vars);
    const std::string folder = workingFolder.string();
    Pipe out, err;
    if (argv.empty() || !out.Open() || !err.Open()) {
        result.failure = "cannot make pipes: " + std::string(strerror(errno));
        out.Close();
        err.Close();
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0)
        BecomeProgram(argp.data(), envp.data(), folder.c_str(), out.write, err.write);
    close(out.write);
    close(err.write);
    out.write = err.write = -1;
    if (pid < 0) {
        result.failure = "fork failed: " + std::string(strerror(errno));
    } else {
        setpgid(pid, pid); // either side may win the race; both ask for the same group
        Supervise(pid, out, err, Clock::now() + timeout, result);
    }
    out.Close();
    err.Close();
    if (result.status == 127 && result.failure.empty() && result.out.empty())
        result.failure = "exit status 127: " + argv[0] + " could not be started";
    return result;
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& overrides) {
    std::vector<std::string> env = overrides;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const std::string& override : overrides)
            replaced = replaced || override.compare(0, name.size(), name) == 0;
        if (!replaced)
            env.push_back(text);
    }
    return env;
}

} // namespace e2e
