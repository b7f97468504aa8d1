#include "files/entry_handle.h"
#include "common/handles.h"
#include "common/last_error.h"
#include "files/file_info.h"
#include "files/removal.h"
#include "paths/dos_path.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace posix {

namespace {

struct EntryObject : HandleObject {
    EntryObject() : HandleObject(HandleKind::Entry) {}
    HostPath entry;         // its folder, held open, and its name there
    struct stat target {};  // what the handle stands for: the link itself, or what it points to
    bool followed = false;  // a link at the name was followed to its target
    bool mayDelete = false; // opened with DELETE access
    bool deleted = false;
};

EntryObject* LookUpEntry(HANDLE handle) {
    return static_cast<EntryObject*>(LookUpHandle(handle, HandleKind::Entry));
}

bool ResolveExistingEntry(LPCSTR path, HostPath& entry) {
    if (!ResolvePath(path, entry))
        return false;
    if (!entry.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    return entry.folder ? TRUE : Fail(ERROR_ACCESS_DENIED); // a drive's root stays
}

// The entry still stands at its name, as the same file it was when opened.
bool StillAtItsName(const EntryObject& object, HostPath& current) {
    current = object.entry;
    if (fstatat(current.folder->fd.get(), current.name.c_str(), &current.st, AT_SYMLINK_NOFOLLOW) !=
        0)
        return FailFromErrno();
    if (current.st.st_dev != object.entry.st.st_dev || current.st.st_ino != object.entry.st.st_ino)
        return Fail(ERROR_ACCESS_DENIED); // another file has taken the name meanwhile
    return TRUE;
}

// Removes the entry at once: Windows removes the name when the last handle closes, which for
// this one-thread tool, closing its handle next, comes to the same.
bool DeleteEntry(EntryObject& object) {
    if (!object.mayDelete || object.followed)
        return Fail(ERROR_ACCESS_DENIED);
    if (object.deleted)
        return TRUE;
    if (object.entry.folder->throughLink)
        return Fail(ERROR_ACCESS_DENIED); // see ResolveForRemoval
    HostPath current;
    if (!StillAtItsName(object, current))
        return false;
    const bool isFolder = S_ISDIR(current.st.st_mode) || IsLinkToFolder(current);
    if (!(isFolder ? RemoveResolvedFolder(current) : DeleteResolvedFile(current)))
        return false;
    object.deleted = true;
    return TRUE;
}

} // namespace

bool OpensEntryItself(DWORD access, DWORD flagsAndAttributes) {
    return (flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0 &&
           (access & (GENERIC_READ | GENERIC_WRITE)) == 0;
}

HANDLE OpenEntry(LPCSTR path, DWORD access, DWORD flagsAndAttributes, DWORD disposition) {
    if (disposition != OPEN_EXISTING) {
        Fail(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    auto* object = new EntryObject();
    HostPath& entry = object->entry;
    if (!ResolveExistingEntry(path, entry)) {
        delete object;
        return INVALID_HANDLE_VALUE;
    }
    object->mayDelete = (access & DELETE) != 0;
    object->followed =
        S_ISLNK(entry.st.st_mode) && (flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) == 0;
    object->target = TargetOf(entry.folder->fd.get(), entry.name, entry.st);
    SetLastError(ERROR_SUCCESS);
    return RegisterHandle(object);
}

} // namespace posix

BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    if (!lpFileInformation)
        return posix::Fail(ERROR_INVALID_PARAMETER);
    if (posix::IsHandleOf(hFile, posix::HandleKind::File)) {
        auto* file =
            static_cast<posix::FileObject*>(posix::LookUpHandle(hFile, posix::HandleKind::File));
        struct stat st {};
        if (fstat(file->fd, &st) != 0)
            return posix::FailFromErrno();
        posix::FillHandleInfoFrom("", st, st, *lpFileInformation);
        return TRUE;
    }
    posix::EntryObject* object = posix::LookUpEntry(hFile);
    if (!object)
        return FALSE;
    const struct stat& linkStat = object->followed ? object->target : object->entry.st;
    posix::FillHandleInfoFrom(object->entry.name, linkStat, object->target, *lpFileInformation);
    return TRUE;
}

BOOL SetFileInformationByHandle(HANDLE hFile, FILE_INFO_BY_HANDLE_CLASS FileInformationClass,
                                LPVOID lpFileInformation, DWORD dwBufferSize) {
    posix::EntryObject* object = posix::LookUpEntry(hFile);
    if (!object)
        return FALSE;
    if (FileInformationClass != FileDispositionInfo || !lpFileInformation ||
        dwBufferSize < sizeof(FILE_DISPOSITION_INFO))
        return posix::Fail(ERROR_INVALID_PARAMETER);
    const auto* disposition = static_cast<const FILE_DISPOSITION_INFO*>(lpFileInformation);
    return disposition->DeleteFile ? posix::DeleteEntry(*object) : TRUE;
}
