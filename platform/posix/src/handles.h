// Kernel-object handles of the layer: open files and folder enumerations.
#ifndef DLLINSTALL_POSIX_HANDLES_H
#define DLLINSTALL_POSIX_HANDLES_H

#include <windows.h>

#include <string>
#include <vector>

namespace posix {

enum class HandleKind { File, Find };

struct HandleObject {
    explicit HandleObject(HandleKind k) : kind(k) {}
    virtual ~HandleObject() = default;
    HandleKind kind;
};

struct FileObject : HandleObject {
    explicit FileObject(int descriptor) : HandleObject(HandleKind::File), fd(descriptor) {}
    int fd;
};

struct FindObject : HandleObject {
    FindObject() : HandleObject(HandleKind::Find) {}
    ~FindObject() override;
    int folderFd = -1;              // the folder listed, open until the handle is closed
    std::string folderPath;         // its host path
    bool notesInHand = false;       // what it delivers is noted as in hand (system_view.h)
    std::vector<std::string> names; // in delivery order
    size_t next = 0;
};

// Registers a new object and returns its handle.
HANDLE RegisterHandle(HandleObject* object);

// The live object of that kind behind the handle, or null with ERROR_INVALID_HANDLE set; a
// stale or foreign handle is refused instead of being dereferenced.
HandleObject* LookUpHandle(HANDLE handle, HandleKind kind);

// Forgets the handle and destroys its object.
void ReleaseHandle(HANDLE handle);

} // namespace posix

#endif
