// File name comparison as NTFS does it: names are UTF-16 code units compared after upper-casing
// each unit through Windows' table (the BMP's simple upper-case pairs of Unicode 5.1); the two
// units of a character beyond the BMP stay as they are.
#ifndef DLLINSTALL_POSIX_NAME_FOLD_H
#define DLLINSTALL_POSIX_NAME_FOLD_H

#include <cstdint>
#include <string>
#include <string_view>

namespace posix {

// Decodes UTF-8 to UTF-16; a byte that is not valid UTF-8 becomes a lone low surrogate
// (0xDC00 + byte) so that every host name still has a distinct, stable form.
std::u16string Utf16FromUtf8(std::string_view utf8);

// True when the text is UTF-8 without a malformed, overlong or surrogate sequence.
bool IsWellFormedUtf8(std::string_view text);

// The upper-case form NTFS compares names by.
std::u16string FoldName(std::string_view utf8);

// The upper-case form of one UTF-16 unit, as FoldName makes it.
char16_t UpcaseUnit(char16_t unit);

// Hands out the units of FoldName(text) one by one, so that comparisons need no allocation.
class FoldedUnits {
  public:
    explicit FoldedUnits(std::string_view text) : text_(text) {}

    // False once the name is used up.
    bool Next(char16_t& unit);

  private:
    std::string_view text_;
    size_t next_ = 0;
    char16_t pendingLow_ = 0; // a low surrogate is never 0
};

bool NamesEqualIgnoringCase(std::string_view a, std::string_view b);

// The key of the order NTFS lists a folder in: the upper-cased UTF-16 name as big-endian byte
// pairs, so that keys compared byte by byte order the names as NTFS compares them.
std::string NameSortKey(std::string_view utf8);

// A hash of the upper-case form: names equal without regard to case hash alike.
uint64_t FoldedNameHash(std::string_view utf8);

// Matches "*" and "?" against a name without regard to case; "*.*" matches every name.
bool MatchesWildcard(std::string_view name, std::string_view mask);

bool HasWildcard(std::string_view mask);

} // namespace posix

#endif
