#include "common/handles.h"
#include "common/last_error.h"

#include <unistd.h>
#include <unordered_set>

namespace posix {

namespace {

std::unordered_set<HandleObject*>& LiveHandles() {
    static std::unordered_set<HandleObject*> s_live;
    return s_live;
}

} // namespace

FileObject::~FileObject() {
    if (copyFolderFd >= 0)
        close(copyFolderFd);
}

MutexObject::~MutexObject() {
    if (fd >= 0)
        close(fd);
}

HANDLE RegisterHandle(HandleObject* object) {
    LiveHandles().insert(object);
    return object;
}

HandleObject* LookUpHandle(HANDLE handle, HandleKind kind) {
    auto* object = static_cast<HandleObject*>(handle);
    if (LiveHandles().count(object) == 0 || object->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

bool IsHandleOf(HANDLE handle, HandleKind kind) {
    auto* object = static_cast<HandleObject*>(handle);
    return LiveHandles().count(object) != 0 && object->kind == kind;
}

void ReleaseHandle(HANDLE handle) {
    auto* object = static_cast<HandleObject*>(handle);
    if (LiveHandles().erase(object) != 0)
        delete object;
}

} // namespace posix
