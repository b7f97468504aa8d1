#include "version/version.h"

#include <climits>

namespace {

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reads a number as the C runtime's atoi does, but saturates at the int range instead of
// overflowing, as the Windows runtime does.
int ReadNumber(LPCSTR text) {
    while (IsBlank(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// Takes the number before the first "."; a text with no "." left gives its whole number
// again, so "1.2" ranks like "1.2.2.2".
int TakeNextNumber(CString& text) {
    const int dot = text.Find('.');
    if (dot < 0)
        return ReadNumber(text);
    const int number = ReadNumber(text.Left(dot));
    text.Delete(0, dot + 1);
    return number;
}

} // namespace

int CompareVersions(CString a, CString b) {
    if (a.IsEmpty() || b.IsEmpty())
        return VERSION_UNKNOWN;
    for (int pass = 0; pass < 4; ++pass) {
        const int numberA = TakeNextNumber(a);
        const int numberB = TakeNextNumber(b);
        if (numberA > numberB)
            return VERSION_NEWER;
        if (numberA < numberB)
            return VERSION_OLDER;
    }
    return VERSION_EQUAL;
}
