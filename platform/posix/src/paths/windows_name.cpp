#include "paths/windows_name.h"
#include "paths/name_fold.h"

namespace posix {

namespace {

bool IsRefusedCharacter(unsigned char c) {
    return c < 0x20 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' ||
           c == '<' || c == '>' || c == '|';
}

} // namespace

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
    return ERROR_SUCCESS;
}

bool IsWindowsName(std::string_view name) {
    return WhyNotAWindowsName(name) == ERROR_SUCCESS;
}

} // namespace posix
