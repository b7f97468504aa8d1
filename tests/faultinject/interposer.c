// Fault injection from outside the tool: preloaded into one run, this library counts the
// file-system calls the run makes once main has started, and makes a chosen one fail or kills
// the process right before it, so that tests can see what a failure at any point leaves behind.
//
//   DLLINSTALL_FAULT_AT=k           the k-th counted call is hit (1-based); without it, every
//                                   counted call is (useful with the filters below)
//   DLLINSTALL_FAULT_MODE=m         EIO, ENOSPC, EACCES, EPERM, EROFS, EDQUOT, EMFILE, ENOMEM
//                                   (the call fails with that errno) or
//                                   kill (SIGKILL before the call), exchange (see below);
//                                   unset: only count
//   DLLINSTALL_FAULT_CALL=name      count only this call: a symbol ("openat") or a family
//                                   ("open", "stat", "lstat", "readdir", "opendir", ...)
//   DLLINSTALL_FAULT_PATH=text      count only calls whose path (or descriptor's path) has text
//   DLLINSTALL_FAULT_COUNT_FILE=p   at exit, write the number of counted calls to p
//   DLLINSTALL_FAULT_TRACE=p        write "k symbol path [path]" to p for every counted call
//   DLLINSTALL_FAULT_EXCHANGE=a:b   with mode exchange: swap the entries at host paths a and b
//                                   (renameat2 RENAME_EXCHANGE) right before the hit call, as
//                                   another user racing the run would, and let the call go on
//   DLLINSTALL_FAULT_NO_TMPFILE=1   refuse every open with O_TMPFILE (EOPNOTSUPP, not counted),
//                                   as a file system without unnamed files does
//   DLLINSTALL_FAULT_MODEL=p        write to p what every call that succeeded did to names, data
//                                   and flushes (interposer_model.inc)
//   DLLINSTALL_FAULT_DROP=kind      "data", "folder" or "volume": such flushes (fsync of a file,
//                                   fsync of a folder, syncfs or sync) succeed and do nothing
//   DLLINSTALL_FAULT_DROP_PATH=t    drop only the flushes of files or folders whose path has t
//
// The count is a plain counter: the tool makes its file-system calls from one thread.
#undef _FORTIFY_SOURCE
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

enum FaultMode { kOnlyCount, kFailCall, kKillProcess, kExchange };

struct FaultState {
    int active;
    int armed;
    unsigned long at;
    enum FaultMode mode;
    int error;
    const char* call;
    const char* path;
    const char* countFile;
    int traceFd;
    int noTmpfile;
    const char* exchange;
    int modelFd;
    const char* drop;
    const char* dropPath;
    unsigned long count;
};

static struct FaultState g_fault = {.traceFd = -1, .modelFd = -1};

typedef struct {
    const char* path;
    int fd;
} Target;

static Target PathTarget(const char* path) {
    return (Target){path ? path : "", -1};
}
static Target FdTarget(int fd) {
    return (Target){NULL, fd};
}
static Target NoTarget(void) {
    return (Target){NULL, -1};
}
// A path relative to a folder descriptor names the same file as the folder's path joined to it.
static Target AtTarget(int dirFd, const char* path) {
    if (!path || path[0] == '/' || dirFd == AT_FDCWD)
        return PathTarget(path);
    if (path[0] == '\0') // AT_EMPTY_PATH: the descriptor's own file
        return FdTarget(dirFd);
    return (Target){path, dirFd};
}
// fstatat and its kin act as lstat when told not to follow a link.
static const char* StatFamily(int flags) {
    return (flags & AT_SYMLINK_NOFOLLOW) ? "lstat" : "stat";
}
static Target DirTarget(DIR* dir) {
    return dir ? FdTarget(dirfd(dir)) : NoTarget();
}

static void* NextSymbol(const char* name) {
    return dlsym(RTLD_NEXT, name);
}

// The interposer's own file work goes straight to libc, so that it is never counted.
static ssize_t (*g_realReadlink)(const char*, char*, size_t);
static ssize_t (*g_realWrite)(int, const void*, size_t);
static int (*g_realOpen)(const char*, int, ...);
static int (*g_realClose)(int);

// A file of the process's own /proc folder shows under the process number, which differs every
// run: "/proc/123/cmdline" becomes "/proc/self/cmdline".
static void NameProcSelf(char* path, size_t size) {
    if (strncmp(path, "/proc/", 6) != 0)
        return;
    const size_t digits = strspn(path + 6, "0123456789");
    if (digits == 0 || path[6 + digits] != '/')
        return;
    const size_t rest = strlen(path + 6 + digits) + 1; // with its terminator
    if (10 + rest > size)
        return;
    memmove(path + 10, path + 6 + digits, rest);
    memcpy(path + 6, "self", 4);
}

static int (*g_realFstat)(int, struct stat*);

static int Intercept(const char* name, const char* family, Target first, Target second);

// What the model of a file system needs from each call, and flushes dropped on request.
#include "interposer_model.inc"

static const char* Describe(Target target, char* buffer, size_t size) {
    if (target.path && target.fd < 0)
        return target.path;
    if (target.fd < 0 || !g_realReadlink)
        return "";
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", target.fd);
    const ssize_t length = g_realReadlink(link, buffer, size - 1);
    buffer[length > 0 ? length : 0] = '\0';
    NameProcSelf(buffer, size);
    // A file without a name shows as "/dir/#<inode> (deleted)"; the inode differs every run.
    char* last = strrchr(buffer, '/');
    if (last && last[1] == '#' && strstr(last, " (deleted)"))
        strcpy(last + 1, "(unnamed file)");
    if (target.path) {
        const size_t used = strlen(buffer);
        snprintf(buffer + used, size - used, "/%s", target.path);
    }
    return buffer;
}

static void Trace(unsigned long k, const char* name, const char* first, const char* second) {
    char line[2 * PATH_MAX + 128];
    const int length =
        snprintf(line, sizeof line, "%lu %s %s%s%s\n", k, name, first, *second ? " " : "", second);
    if (length > 0)
        g_realWrite(g_fault.traceFd, line,
                    (size_t)length < sizeof line ? (size_t)length : sizeof line);
}

// Swaps the two entries of DLLINSTALL_FAULT_EXCHANGE, once: a folder the run has listed turns
// into a link between two of its calls.
static void ExchangeEntries(void) {
    static int s_done;
    const char* colon = g_fault.exchange ? strchr(g_fault.exchange, ':') : NULL;
    if (s_done || !colon)
        return;
    s_done = 1;
    char first[PATH_MAX];
    snprintf(first, sizeof first, "%.*s", (int)(colon - g_fault.exchange), g_fault.exchange);
    if (syscall(SYS_renameat2, AT_FDCWD, first, AT_FDCWD, colon + 1, RENAME_EXCHANGE) != 0)
        _exit(124); // the race could not be staged: the test must not pass unraced
}

// Decides the fate of one call: 0 lets it through, an errno value makes it fail.
static int Intercept(const char* name, const char* family, Target first, Target second) {
    if (!g_fault.armed)
        return 0;
    if (g_fault.call && strcmp(g_fault.call, name) != 0 && strcmp(g_fault.call, family) != 0)
        return 0;
    // The caller may look at errno after a call that succeeds (readdir at the end of a folder).
    const int savedErrno = errno;
    char bufferA[PATH_MAX], bufferB[PATH_MAX];
    const int needPaths = g_fault.path || g_fault.traceFd >= 0;
    const char* a = needPaths ? Describe(first, bufferA, sizeof bufferA) : "";
    const char* b = needPaths ? Describe(second, bufferB, sizeof bufferB) : "";
    errno = savedErrno;
    if (g_fault.path && !strstr(a, g_fault.path) && !strstr(b, g_fault.path))
        return 0;
    const unsigned long k = ++g_fault.count;
    if (g_fault.traceFd >= 0)
        Trace(k, name, a, b);
    const int hit = g_fault.mode != kOnlyCount && (g_fault.at == 0 || k == g_fault.at);
    if (hit && g_fault.mode == kKillProcess)
        raise(SIGKILL);
    if (hit && g_fault.mode == kExchange) {
        ExchangeEntries();
        errno = savedErrno;
        return 0;
    }
    errno = savedErrno;
    return hit ? g_fault.error : 0;
}

static int ParseMode(const char* text) {
    static const struct {
        const char* name;
        int error;
    } kModes[] = {{"EIO", EIO},     {"ENOSPC", ENOSPC}, {"EACCES", EACCES}, {"EPERM", EPERM},
                  {"EROFS", EROFS}, {"EDQUOT", EDQUOT}, {"EMFILE", EMFILE}, {"ENOMEM", ENOMEM}};
    if (strcmp(text, "kill") == 0) {
        g_fault.mode = kKillProcess;
        return 1;
    }
    if (strcmp(text, "exchange") == 0) {
        g_fault.mode = kExchange;
        return 1;
    }
    for (size_t i = 0; i < sizeof kModes / sizeof kModes[0]; ++i) {
        if (strcmp(text, kModes[i].name) == 0) {
            g_fault.mode = kFailCall;
            g_fault.error = kModes[i].error;
            return 1;
        }
    }
    return 0;
}

__attribute__((constructor)) static void LoadSettings(void) {
    g_realReadlink = (ssize_t(*)(const char*, char*, size_t))NextSymbol("readlink");
    g_realWrite = (ssize_t(*)(int, const void*, size_t))NextSymbol("write");
    g_realOpen = (int (*)(const char*, int, ...))NextSymbol("open");
    g_realClose = (int (*)(int))NextSymbol("close");
    const char* mode = getenv("DLLINSTALL_FAULT_MODE");
    const char* at = getenv("DLLINSTALL_FAULT_AT");
    const char* trace = getenv("DLLINSTALL_FAULT_TRACE");
    if (mode && *mode && !ParseMode(mode)) {
        fprintf(stderr, "interposer: unknown DLLINSTALL_FAULT_MODE %s\n", mode);
        _exit(125);
    }
    g_fault.at = at ? strtoul(at, NULL, 10) : 0;
    g_fault.call = getenv("DLLINSTALL_FAULT_CALL");
    g_fault.path = getenv("DLLINSTALL_FAULT_PATH");
    g_fault.countFile = getenv("DLLINSTALL_FAULT_COUNT_FILE");
    g_fault.noTmpfile = getenv("DLLINSTALL_FAULT_NO_TMPFILE") != NULL;
    g_fault.exchange = getenv("DLLINSTALL_FAULT_EXCHANGE");
    g_realFstat = (int (*)(int, struct stat*))NextSymbol("fstat");
    g_realFstatat = (int (*)(int, const char*, struct stat*, int))NextSymbol("fstatat");
    const char* model = getenv("DLLINSTALL_FAULT_MODEL");
    g_fault.drop = getenv("DLLINSTALL_FAULT_DROP");
    g_fault.dropPath = getenv("DLLINSTALL_FAULT_DROP_PATH");
    if (trace && *trace && g_realOpen)
        g_fault.traceFd =
            g_realOpen(trace, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (model && *model && g_realOpen && g_realFstatat)
        g_fault.modelFd =
            g_realOpen(model, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    g_fault.active = g_fault.mode != kOnlyCount || g_fault.countFile || g_fault.traceFd >= 0 ||
                     g_fault.modelFd >= 0 || g_fault.drop;
}

__attribute__((destructor)) static void WriteCount(void) {
    if (!g_fault.countFile || !g_realOpen)
        return;
    const int fd = g_realOpen(g_fault.countFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    char text[32];
    const int length = snprintf(text, sizeof text, "%lu\n", g_fault.count);
    g_realWrite(fd, text, (size_t)length);
    g_realClose(fd);
}

// Counting starts with main, so that what the loader and the runtimes do first never shifts k.
typedef int (*MainFunction)(int, char**, char**);
static MainFunction g_main;

static int ArmedMain(int argc, char** argv, char** envp) {
    g_fault.armed = g_fault.active;
    return g_main(argc, argv, envp);
}

int __libc_start_main(MainFunction main, int argc, char** argv, void (*init)(void),
                      void (*fini)(void), void (*rtldFini)(void), void* stackEnd) {
    typedef int (*StartFunction)(MainFunction, int, char**, void (*)(void), void (*)(void),
                                 void (*)(void), void*);
    const StartFunction start = (StartFunction)NextSymbol("__libc_start_main");
    g_main = main;
    return start(ArmedMain, argc, argv, init, fini, rtldFini, stackEnd);
}

#include "interposer_calls.inc"
