// Kernel-object handles of the layer: open files and volumes, folder enumerations, mutexes.
// A kind used by one file only (an enumeration, an entry) is defined there.
#ifndef DLLINSTALL_POSIX_HANDLES_H
#define DLLINSTALL_POSIX_HANDLES_H

#include <windows.h>

namespace posix {

enum class HandleKind { File, Find, Mutex, Entry };

struct HandleObject {
    explicit HandleObject(HandleKind k) : kind(k) {}
    virtual ~HandleObject() = default;
    HandleKind kind;
};

struct FileObject : HandleObject {
    explicit FileObject(int descriptor, bool isVolume = false)
        : HandleObject(HandleKind::File), fd(descriptor), volume(isVolume) {}
    int fd;
    bool volume;           // fd is the root folder of a drive opened as "\\.\X:"
    int copyFolderFd = -1; // for a copy CopyFileA made, the folder of its name, which its flush
                           // flushes too
    ~FileObject() override;
};

// A named mutex: an advisory lock on a file of the prefix, which the kernel drops when the
// process ends, so that a killed owner never blocks the next one.
struct MutexObject : HandleObject {
    explicit MutexObject(int descriptor) : HandleObject(HandleKind::Mutex), fd(descriptor) {}
    ~MutexObject() override;
    int fd;
    unsigned owned = 0; // how often this handle's waits were granted and not yet released
};

// Registers a new object and returns its handle.
HANDLE RegisterHandle(HandleObject* object);

// The live object of that kind behind the handle, or null with ERROR_INVALID_HANDLE set; a
// stale or foreign handle is refused instead of being dereferenced.
HandleObject* LookUpHandle(HANDLE handle, HandleKind kind);

// True when the handle is a live object of that kind; sets no error.
bool IsHandleOf(HANDLE handle, HandleKind kind);

// Forgets the handle and destroys its object.
void ReleaseHandle(HANDLE handle);

} // namespace posix

#endif
