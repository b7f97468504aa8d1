#include <afx.h>

#include <cstring>

int CFileException::OsErrorToException(LONG osError) {
    switch (osError) {
    case ERROR_FILE_NOT_FOUND:
        return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return badPath;
    case ERROR_TOO_MANY_OPEN_FILES:
        return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return accessDenied;
    case ERROR_INVALID_HANDLE:
        return invalidFile;
    case ERROR_SHARING_VIOLATION:
        return sharingViolation;
    case ERROR_DISK_FULL:
        return diskFull;
    case ERROR_HANDLE_EOF:
        return endOfFile;
    default:
        return genericException;
    }
}

void CFileException::ThrowOsError(LONG osError, LPCSTR fileName) {
    throw new CFileException(OsErrorToException(osError), osError, fileName);
}

CFile::CFile(LPCSTR fileName, UINT openFlags) {
    CFileException error(CFileException::none, 0);
    if (!Open(fileName, openFlags, &error))
        CFileException::ThrowOsError(error.m_lOsError, fileName);
}

CFile::~CFile() {
    // Closing in the destructor must not throw; a failure there is lost, as in the framework.
    if (m_hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hFile);
}

BOOL CFile::Open(LPCSTR fileName, UINT openFlags, CFileException* error) {
    static constexpr DWORD kAccess[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE,
                                        GENERIC_READ | GENERIC_WRITE};
    // The compatibility mode maps to exclusive access, as it always has in the framework.
    static constexpr DWORD kShare[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE};
    const UINT shareIndex = (openFlags & 0x70) >> 4;
    DWORD disposition = OPEN_EXISTING;
    if (openFlags & modeCreate)
        disposition = (openFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    m_hFile =
        ::CreateFileA(fileName, kAccess[openFlags & 3], shareIndex < 5 ? kShare[shareIndex] : 0,
                      nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        if (error) {
            error->m_lOsError = static_cast<LONG>(::GetLastError());
            error->m_cause = CFileException::OsErrorToException(error->m_lOsError);
            error->m_strFileName = fileName;
        }
        return FALSE;
    }
    m_strFileName = fileName;
    return TRUE;
}

void CFile::SetLength(ULONGLONG newLength) {
    LONG high = static_cast<LONG>(newLength >> 32);
    const DWORD low = ::SetFilePointer(m_hFile, static_cast<LONG>(newLength), &high, FILE_BEGIN);
    if ((low == INVALID_SET_FILE_POINTER && ::GetLastError() != ERROR_SUCCESS) ||
        !::SetEndOfFile(m_hFile))
        CFileException::ThrowOsError(static_cast<LONG>(::GetLastError()), m_strFileName);
}

void CFile::Write(const void* buffer, UINT count) {
    if (count == 0)
        return;
    DWORD written = 0;
    if (!::WriteFile(m_hFile, buffer, count, &written, nullptr))
        CFileException::ThrowOsError(static_cast<LONG>(::GetLastError()), m_strFileName);
    if (written != count)
        throw new CFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName);
}

void CFile::Close() {
    const HANDLE handle = m_hFile;
    m_hFile = INVALID_HANDLE_VALUE;
    if (handle != INVALID_HANDLE_VALUE && !::CloseHandle(handle))
        CFileException::ThrowOsError(static_cast<LONG>(::GetLastError()), m_strFileName);
}

BOOL CFile::GetStatus(LPCSTR fileName, CFileStatus& status) {
    memset(&status, 0, sizeof status);
    // The full name must fit the record, or there is no status to give.
    if (!fileName || strlen(fileName) >= MAX_PATH) {
        ::SetLastError(fileName ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WIN32_FIND_DATAA data;
    const HANDLE find = ::FindFirstFileA(fileName, &data);
    if (find == INVALID_HANDLE_VALUE)
        return FALSE;
    ::FindClose(find);
    strcpy(status.m_szFullName, fileName);
    status.m_attribute = static_cast<BYTE>(data.dwFileAttributes);
    status.m_size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    status.m_ctime = data.ftCreationTime;
    status.m_atime = data.ftLastAccessTime;
    status.m_mtime = data.ftLastWriteTime;
    return TRUE;
}
