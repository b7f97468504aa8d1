#include <afx.h>

#include <cstdio>
#include <vector>

CString& CString::operator+=(const CString& other) {
    m_text += other.m_text;
    return *this;
}

CString& CString::operator+=(LPCSTR text) {
    m_text += text ? text : "";
    return *this;
}

CString& CString::operator+=(char ch) {
    m_text += ch;
    return *this;
}

CString operator+(const CString& a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, LPCSTR b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(LPCSTR a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}

namespace {

int PositionOrMinusOne(size_t position) {
    return position == std::string::npos ? -1 : static_cast<int>(position);
}

// Clamps a caller's index into the string, as the framework does instead of failing.
size_t Clamp(int value, size_t limit) {
    if (value < 0)
        return 0;
    return static_cast<size_t>(value) > limit ? limit : static_cast<size_t>(value);
}

} // namespace

int CString::Find(char ch) const {
    return PositionOrMinusOne(m_text.find(ch));
}

int CString::ReverseFind(char ch) const {
    return PositionOrMinusOne(m_text.rfind(ch));
}

CString CString::Left(int count) const {
    const std::string part = m_text.substr(0, Clamp(count, m_text.size()));
    return CString(part.data(), static_cast<int>(part.size()));
}

int CString::Delete(int index, int count) {
    const size_t start = Clamp(index, m_text.size());
    m_text.erase(start, Clamp(count, m_text.size() - start));
    return GetLength();
}

BOOL CString::LoadString(UINT id) {
    // Grow the buffer until the text is shorter than it: LoadStringA cuts long texts silently.
    for (int size = 256;; size *= 2) {
        std::vector<char> buffer(static_cast<size_t>(size));
        const int length = ::LoadStringA(AfxGetResourceHandle(), id, buffer.data(), size);
        if (length < size - 1) {
            m_text.assign(buffer.data(), static_cast<size_t>(length > 0 ? length : 0));
            return length > 0;
        }
    }
}

void CString::Format(LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(LPCSTR format, va_list args) {
    // Most texts fit a small buffer: one formatting pass then, and a second only for longer ones.
    char small[256];
    va_list first;
    va_copy(first, args);
    // The analyzer cannot see that a va_list parameter was started by the caller.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    const int length = vsnprintf(small, sizeof small, format, first);
    va_end(first);
    if (length < 0) {
        m_text.clear();
        return;
    }
    if (static_cast<size_t>(length) < sizeof small) {
        m_text.assign(small, static_cast<size_t>(length));
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    vsnprintf(buffer.data(), buffer.size(), format, args);
    m_text.assign(buffer.data(), static_cast<size_t>(length));
}
