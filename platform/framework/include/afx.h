// The class framework dllinstall is written against: a value string, files, file status and
// folder enumeration, spelled as the Microsoft Foundation Classes spell them. Only what the
// tool uses is here, written over the Win32 API of the platform below.
#ifndef DLLINSTALL_FRAMEWORK_AFX_H
#define DLLINSTALL_FRAMEWORK_AFX_H

#include <windows.h>

#include <cstdarg>
#include <string>

// The module whose resources the framework loads from, recorded by AfxWinInit.
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxGetInstanceHandle();

// A narrow text string with value semantics, in the system's ANSI code page.
class CString {
  public:
    CString() = default;
    CString(LPCSTR text) : m_text(text ? text : "") {} // NOLINT: converts like the original
    CString(LPCSTR text, int length) : m_text(text, static_cast<size_t>(length)) {}

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    operator LPCSTR() const { return m_text.c_str(); } // NOLINT: the framework's conversion

    CString& operator+=(const CString& other);
    CString& operator+=(LPCSTR text);
    CString& operator+=(char ch);
    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, LPCSTR b);
    friend CString operator+(LPCSTR a, const CString& b);
    friend bool operator==(const CString& a, LPCSTR b) { return a.m_text == (b ? b : ""); }
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }

    // Positions are zero-based; -1 means not found.
    int Find(char ch) const;
    int ReverseFind(char ch) const;
    CString Left(int count) const;
    // Removes count characters at index and returns the new length.
    int Delete(int index, int count = 1);

    // Loads the string resource of that id; false and empty when there is none.
    BOOL LoadString(UINT id);
    // printf-style formatting into this string.
    void Format(LPCSTR format, ...);
    void FormatV(LPCSTR format, va_list args);

  private:
    std::string m_text;
};

// A file error, thrown by pointer and released with Delete(), as the framework does.
class CFileException {
  public:
    enum Cause {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    CFileException(int cause, LONG osError, LPCSTR fileName = nullptr)
        : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}
    void Delete() { delete this; }

    static int OsErrorToException(LONG osError);
    [[noreturn]] static void ThrowOsError(LONG osError, LPCSTR fileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

struct CFileStatus {
    FILETIME m_ctime;
    FILETIME m_mtime;
    FILETIME m_atime;
    ULONGLONG m_size;
    BYTE m_attribute;
    char m_szFullName[MAX_PATH];
};

class CFile {
  public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
    };

    CFile() = default;
    // Takes over a handle the caller opened; the object closes it.
    explicit CFile(HANDLE hFile) : m_hFile(hFile) {}
    // Opens the file or throws CFileException*.
    CFile(LPCSTR fileName, UINT openFlags);
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    BOOL Open(LPCSTR fileName, UINT openFlags, CFileException* error = nullptr);
    void SetLength(ULONGLONG newLength);
    void Write(const void* buffer, UINT count);
    void Close();

    // Fills the status of a file or folder; false when the path names nothing.
    static BOOL GetStatus(LPCSTR fileName, CFileStatus& status);

    HANDLE m_hFile = INVALID_HANDLE_VALUE;

  private:
    CString m_strFileName;
};

// Enumerates the entries of one folder that match a pattern.
class CFileFind {
  public:
    CFileFind() = default;
    ~CFileFind();
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Starts the enumeration; true when at least one entry matches.
    BOOL FindFile(LPCSTR name = nullptr, DWORD unused = 0);
    // Makes the next entry current; returns whether yet another one follows it.
    BOOL FindNextFile();
    void Close();

    BOOL IsDots() const;
    BOOL MatchesMask(DWORD mask) const;
    CString GetFileName() const;
    CString GetFilePath() const;

  private:
    HANDLE m_hContext = nullptr;
    bool m_hasFound = false;
    WIN32_FIND_DATAA m_found{};
    WIN32_FIND_DATAA m_next{};
    CString m_strRoot;
};

#endif
