// UTF-16 text of version resources turned into the layer's ANSI code page, UTF-8.
#ifndef DLLINSTALL_POSIX_UTF16_TEXT_H
#define DLLINSTALL_POSIX_UTF16_TEXT_H

#include <string>
#include <string_view>

namespace posix {

// Encodes UTF-16 as UTF-8; a lone surrogate becomes U+FFFD, as Windows converts it.
std::string Utf8FromUtf16(std::u16string_view text);

} // namespace posix

#endif
