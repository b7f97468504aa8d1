// The VS_VERSIONINFO tree: nodes of wLength, wValueLength, wType, a UTF-16 key, a value and
// child nodes, each on a 32-bit boundary counted from the start of the tree.
#ifndef DLLINSTALL_POSIX_VERSION_TREE_H
#define DLLINSTALL_POSIX_VERSION_TREE_H

#include "version/bounded_reader.h"

#include <string>
#include <string_view>

namespace posix {

// The names a query path may hold: a real one has three (StringFileInfo, a table, a string).
constexpr size_t kMaxTreeDepth = 8;
constexpr size_t kNodeHeaderSize = 6;
constexpr uint16_t kBinaryNode = 0;

struct VersionNode {
    size_t end = 0; // just past the node's last byte
    size_t keyOffset = 0;
    size_t keyUnits = 0; // the key's UTF-16 units, without its terminator
    bool isText = false;
    size_t valueOffset = 0;
    size_t valueBytes = 0; // what the node really holds of the value it claims
    size_t childrenOffset = 0;
};

enum class NodeRead { kNode, kEnd, kMalformed };

// Reads the node at offset, whose header must lie before limit (its parent's end) and whose
// bytes must lie within the tree. A wLength of
// 0 is the end of a list of children.
NodeRead ReadNode(const ByteView& tree, size_t offset, size_t limit, VersionNode& node);

// Checks the root node of the tree at the start of the resource; ERROR_BAD_FORMAT when it is
// broken. The tree is the whole resource: a child may run past the root's own length.
DWORD ValidateVersionTree(const ByteView& resource);

// Finds the node that a backslash-separated path of keys names, keys compared without regard
// to case, the root being rootLength long; ERROR_RESOURCE_TYPE_NOT_FOUND when there is none, as
// Windows reports it.
DWORD FindVersionNode(const ByteView& tree, uint16_t rootLength, std::string_view path,
                      VersionNode& node);

// The UTF-8 form of units of UTF-16 text at offset, up to the first NUL. sawNul tells whether
// a NUL ended it.
std::string ReadVersionText(const ByteView& tree, size_t offset, size_t units, bool& sawNul);

} // namespace posix

#endif
