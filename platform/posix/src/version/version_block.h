// The block that GetFileVersionInfoA fills and VerQueryValueA reads, laid out as Windows lays
// it out: the VS_VERSIONINFO tree, whose first word (the root's wLength) is the tree's length;
// the signature "FE2X" and the root's own length, which the tree may exceed; then room where a
// string is put in the ANSI code page at the same offset it has in the tree.
#ifndef DLLINSTALL_POSIX_VERSION_BLOCK_H
#define DLLINSTALL_POSIX_VERSION_BLOCK_H

#include <windows.h>

#include <string_view>
#include <vector>

namespace posix {

// The size of the block for a tree of that length.
size_t VersionBlockSize(size_t treeLength);

// Copies the tree into a block of blockSize bytes. A block too small for the whole tree keeps
// as much of it as fits, with its length word saying so, so that no query reads or writes
// past the block; ERROR_INSUFFICIENT_BUFFER when not even one node fits.
DWORD FillVersionBlock(const std::vector<BYTE>& tree, size_t blockSize, BYTE* block);

// VerQueryValueA's work: a pointer to the value that the path names and its length, in bytes
// for binary values and in characters with the terminator for text. The block must be one
// that FillVersionBlock made; anything inside it may have been changed since.
DWORD QueryVersionBlock(BYTE* block, std::string_view path, void*& value, UINT& length);

} // namespace posix

#endif
