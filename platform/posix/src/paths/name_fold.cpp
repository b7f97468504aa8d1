#include "paths/name_fold.h"

#include <algorithm>
#include <cstdint>

namespace posix {

namespace {

// Reads one UTF-8 sequence at s[i]; returns its code point or 0xDC00 + byte when malformed.
char32_t DecodeUtf8CodePoint(std::string_view s, size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const size_t extra = lead < 0x80           ? 0
                         : (lead >> 5) == 0x06 ? 1
                         : (lead >> 4) == 0x0E ? 2
                         : (lead >> 3) == 0x1E ? 3
                                               : 4;
    if (extra == 0) {
        ++i;
        return lead;
    }
    if (extra == 4 || extra >= s.size() - i) {
        ++i;
        return 0xDC00 + lead;
    }
    char32_t cp = lead & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return 0xDC00 + lead;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMinForLength[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinForLength[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xDC00 + lead;
    }
    i += extra + 1;
    return cp;
}

} // namespace

namespace {

// Windows' upper-case table, generated at build time from the Unicode Character Database.
#include "upcase_table.inc"

} // namespace

char16_t UpcaseUnit(char16_t c) {
    return static_cast<char16_t>(c + kUpcasePages[kUpcasePageIndex[c >> 8]][c & 0xFF]);
}

namespace {

char16_t UpcaseAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? c - 0x20 : c;
}

// Compares the folded forms of two names: negative, zero or positive, as u16string does.
int CompareFolded(std::string_view a, std::string_view b) {
    // Listings sort thousands of plain ASCII names: those bytes need no decoding.
    size_t same = 0;
    for (const size_t common = std::min(a.size(), b.size()); same < common; ++same) {
        const auto x = static_cast<unsigned char>(a[same]);
        const auto y = static_cast<unsigned char>(b[same]);
        if ((x | y) >= 0x80)
            break;
        if (x != y && UpcaseAscii(x) != UpcaseAscii(y))
            return UpcaseAscii(x) < UpcaseAscii(y) ? -1 : 1;
    }
    FoldedUnits left(a.substr(same)), right(b.substr(same));
    for (;;) {
        char16_t x = 0, y = 0;
        const bool moreLeft = left.Next(x);
        const bool moreRight = right.Next(y);
        if (!moreLeft || !moreRight)
            return moreLeft ? 1 : moreRight ? -1 : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
}

} // namespace

std::u16string Utf16FromUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const char32_t cp = DecodeUtf8CodePoint(utf8, i);
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

bool IsWellFormedUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        // A valid sequence never decodes to a surrogate: only a malformed one does.
        const char32_t cp = DecodeUtf8CodePoint(text, i);
        if (cp >= 0xD800 && cp <= 0xDFFF)
            return false;
    }
    return true;
}

bool FoldedUnits::Next(char16_t& unit) {
    if (pendingLow_ != 0) {
        unit = pendingLow_;
        pendingLow_ = 0;
        return true;
    }
    if (next_ >= text_.size())
        return false;
    const char32_t cp = DecodeUtf8CodePoint(text_, next_);
    if (cp >= 0x10000) {
        unit = UpcaseUnit(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
        pendingLow_ = UpcaseUnit(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
        unit = UpcaseUnit(static_cast<char16_t>(cp));
    }
    return true;
}

std::u16string FoldName(std::string_view utf8) {
    std::u16string units = Utf16FromUtf8(utf8);
    for (char16_t& c : units)
        c = UpcaseUnit(c);
    return units;
}

bool NamesEqualIgnoringCase(std::string_view a, std::string_view b) {
    return CompareFolded(a, b) == 0;
}

std::string NameSortKey(std::string_view utf8) {
    const std::u16string folded = FoldName(utf8);
    std::string key(folded.size() * 2, '\0');
    for (size_t i = 0; i < folded.size(); ++i) {
        key[2 * i] = static_cast<char>(folded[i] >> 8);
        key[2 * i + 1] = static_cast<char>(folded[i] & 0xFF);
    }
    return key;
}

uint64_t FoldedNameHash(std::string_view utf8) {
    uint64_t hash = 0xCBF29CE484222325ULL; // FNV-1a over the folded units
    FoldedUnits units(utf8);
    for (char16_t unit = 0; units.Next(unit);)
        hash = (hash ^ unit) * 0x100000001B3ULL;
    return hash;
}

bool HasWildcard(std::string_view mask) {
    return mask.find_first_of("*?") != std::string_view::npos;
}

namespace {

// Iterative glob match with one back-tracking point: linear in practice, never exponential.
bool MatchFolded(const std::u16string& name, const std::u16string& mask) {
    size_t n = 0, m = 0, starMask = std::u16string::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == u'?' || mask[m] == name[n])) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == u'*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::u16string::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

} // namespace

bool MatchesWildcard(std::string_view name, std::string_view mask) {
    if (mask == "*.*" || mask == "*")
        return true;
    return MatchFolded(FoldName(name), FoldName(mask));
}

} // namespace posix
