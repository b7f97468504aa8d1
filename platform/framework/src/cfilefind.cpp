#include <afx.h>

#include <cstring>

CFileFind::~CFileFind() {
    Close();
}

BOOL CFileFind::FindFile(LPCSTR name, DWORD) {
    Close();
    const CString pattern = name ? name : "*.*";
    int slash = pattern.ReverseFind('\\');
    if (const int forward = pattern.ReverseFind('/'); forward > slash)
        slash = forward;
    m_strRoot = slash >= 0 ? pattern.Left(slash) : CString();
    // The first entry waits in m_next; FindNextFile makes it current, one step behind.
    m_hContext = ::FindFirstFileA(pattern, &m_next);
    if (m_hContext == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        m_hContext = nullptr;
        Close();
        ::SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL CFileFind::FindNextFile() {
    if (!m_hContext)
        return FALSE;
    m_found = m_next;
    m_hasFound = true;
    return ::FindNextFileA(m_hContext, &m_next);
}

void CFileFind::Close() {
    if (m_hContext && m_hContext != INVALID_HANDLE_VALUE)
        ::FindClose(m_hContext);
    m_hContext = nullptr;
    m_hasFound = false;
}

BOOL CFileFind::IsDots() const {
    return m_hasFound &&
           (strcmp(m_found.cFileName, ".") == 0 || strcmp(m_found.cFileName, "..") == 0);
}

BOOL CFileFind::MatchesMask(DWORD mask) const {
    return m_hasFound && (m_found.dwFileAttributes & mask) != 0;
}

CString CFileFind::GetFileName() const {
    return m_hasFound ? CString(m_found.cFileName) : CString();
}

CString CFileFind::GetFilePath() const {
    if (!m_hasFound)
        return CString();
    return m_strRoot + "\\" + m_found.cFileName;
}
