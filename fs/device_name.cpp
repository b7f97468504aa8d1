#include "fs/device_name.h"

#include <string>

namespace {

bool EqualsIgnoringAsciiCase(const std::string& text, const char* upper) {
    size_t i = 0;
    for (; i < text.size() && upper[i]; ++i) {
        const char c = text[i];
        if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != upper[i])
            return false;
    }
    return i == text.size() && !upper[i];
}

// Windows reads the digit with its C locale, where the Latin-1 superscripts one, two and three
// are digits too: two bytes in UTF-8, one in the single-byte code pages; zero is no device.
bool IsDeviceDigit(const std::string& digit) {
    if (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9')
        return true;
    const std::string lead = GetACP() == CP_UTF8 ? "\xC2" : "";
    return digit == lead + "\xB9" || digit == lead + "\xB2" || digit == lead + "\xB3";
}

} // namespace

bool IsDeviceName(const CString& name) {
    // Windows compares the part before the first dot, less its trailing blanks.
    std::string stem(static_cast<LPCSTR>(name));
    stem = stem.substr(0, stem.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (EqualsIgnoringAsciiCase(stem, device))
            return true;
    }
    if (stem.size() < 4)
        return false;
    const std::string family = stem.substr(0, 3);
    return (EqualsIgnoringAsciiCase(family, "COM") || EqualsIgnoringAsciiCase(family, "LPT")) &&
           IsDeviceDigit(stem.substr(3));
}
