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

// Reads the VS_VERSIONINFO tree of the version resource Windows reads, checked node by node,
// reading only the headers, the resource directory and the tree itself.
DWORD ReadVersionResource(const ImageSource& source, std::vector<BYTE>& tree);

} // namespace posix

#endif
