// The version resource of a PE32 or PE32+ image, read from any image source: the one entry
// point of the reader, which GetFileVersionInfoSizeA, GetFileVersionInfoA and the fuzz target
// share.
#ifndef DLLINSTALL_POSIX_VERSION_RESOURCE_H
#define DLLINSTALL_POSIX_VERSION_RESOURCE_H

#include "version/image_source.h"

#include <vector>

namespace posix {

// A VS_VERSIONINFO's length is a 16-bit field, so nothing past this can belong to the tree.
constexpr size_t kMaxVersionTreeLength = 0xFFFF;

// Reads the version resource Windows reads, up to the longest VS_VERSIONINFO tree, its root
// checked, reading only the headers, the resource directory and the resource itself.
DWORD ReadVersionResource(const ImageSource& source, std::vector<BYTE>& tree);

} // namespace posix

#endif
