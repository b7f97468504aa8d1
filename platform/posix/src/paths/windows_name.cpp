#include "paths/windows_name.h"
#include "paths/name_fold.h"

namespace posix {

namespace {

bool IsRefusedCharacter(unsigned char c) {
    return c < 0x20 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' ||
           c == '<' || c == '>' || c == '|';
}

bool EqualsAsciiIgnoringCase(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != upper[i])
            return false;
    }
    return true;
}

// Windows reads the digit of COM# and LPT# with its C locale, where the Latin-1 superscripts
// one, two and three are digits too (UTF-8 here); zero is not, so COM0 is a file.
bool IsDeviceDigit(std::string_view digit) {
    return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" ||
           digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

} // namespace

bool IsReservedDeviceName(std::string_view name) {
    // Windows compares the part before the first dot, less its trailing blanks.
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (EqualsAsciiIgnoringCase(stem, device))
            return true;
    }
    if (stem.size() < 4)
        return false;
    const std::string_view family = stem.substr(0, 3);
    return (EqualsAsciiIgnoringCase(family, "COM") || EqualsAsciiIgnoringCase(family, "LPT")) &&
           IsDeviceDigit(stem.substr(3));
}

DWORD WhyNotAWindowsName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return ERROR_INVALID_NAME;
    for (const char c : name) {
        if (IsRefusedCharacter(static_cast<unsigned char>(c)))
            return ERROR_INVALID_NAME;
    }
    if (!IsWellFormedUtf8(name))
        return ERROR_INVALID_NAME;
    if (name.back() == '.' || name.back() == ' ')
        return ERROR_PATH_NOT_FOUND;
    if (IsReservedDeviceName(name))
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

bool IsWindowsName(std::string_view name) {
    return WhyNotAWindowsName(name) == ERROR_SUCCESS;
}

} // namespace posix
