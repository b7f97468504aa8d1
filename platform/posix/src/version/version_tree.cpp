#include "version/version_tree.h"
#include "paths/name_fold.h"
#include "version/utf16_text.h"

#include <algorithm>

namespace posix {

namespace {

constexpr size_t Align4(size_t offset) {
    return (offset + 3) & ~size_t{3};
}

// Walks the children of a node in order, each checked against what the parent has left.
class ChildCursor {
  public:
    ChildCursor(const ByteView& tree, const VersionNode& parent)
        : tree_(tree), next_(parent.childrenOffset), end_(parent.end) {}

    NodeRead Next(VersionNode& child) {
        const size_t offset = Align4(next_);
        // Fewer bytes than a header are the parent's padding, not a child.
        if (offset >= end_ || end_ - offset < kNodeHeaderSize)
            return NodeRead::kEnd;
        const NodeRead read = ReadNode(tree_, offset, end_, child);
        if (read == NodeRead::kNode)
            next_ = child.end;
        return read;
    }

  private:
    const ByteView& tree_;
    size_t next_;
    size_t end_;
};

// Finds the key's terminator, looking no further than the node's own bytes.
bool FindKeyEnd(const ByteView& tree, size_t key, size_t end, size_t& terminator) {
    const size_t room = key <= end ? (end - key) & ~size_t{1} : 0;
    const BYTE* units = tree.At(key, room);
    if (!units)
        return false;
    for (size_t at = 0; at < room; at += 2) {
        if (units[at] == 0 && units[at + 1] == 0) {
            terminator = key + at;
            return true;
        }
    }
    return false;
}

// Compares the node's UTF-16 key unit by unit with the key asked for, both upper-cased, as
// Windows compares keys; nothing is copied.
bool KeyMatches(const ByteView& tree, const VersionNode& node, std::string_view key) {
    const BYTE* units = tree.At(node.keyOffset, 2 * node.keyUnits);
    if (!units)
        return false;
    FoldedUnits wanted(key);
    char16_t expected = 0;
    for (size_t i = 0; i < node.keyUnits; ++i) {
        const auto unit = static_cast<char16_t>(units[2 * i] | units[2 * i + 1] << 8);
        if (!wanted.Next(expected) || UpcaseUnit(unit) != expected)
            return false;
    }
    return !wanted.Next(expected);
}

DWORD FindChild(const ByteView& tree, const VersionNode& parent, std::string_view key,
                VersionNode& child) {
    ChildCursor cursor(tree, parent);
    for (;;) {
        switch (cursor.Next(child)) {
        case NodeRead::kEnd:
            return ERROR_RESOURCE_TYPE_NOT_FOUND;
        case NodeRead::kMalformed:
            return ERROR_INVALID_DATA;
        case NodeRead::kNode:
            if (KeyMatches(tree, child, key))
                return ERROR_SUCCESS;
        }
    }
}

} // namespace

namespace {

// Reads a node of the given length at offset, its other fields from the tree.
NodeRead ReadNodeOfLength(const ByteView& tree, size_t offset, uint16_t length, VersionNode& node) {
    uint16_t valueLength = 0, type = 0;
    if (length < kNodeHeaderSize || !tree.ReadU16(offset + 2, valueLength) ||
        !tree.ReadU16(offset + 4, type))
        return NodeRead::kMalformed;
    // A child that starts within its parent is read even where it runs past the parent's end,
    // as Windows reads it, but never past the tree.
    node.end = offset + std::min<size_t>(length, tree.size() - offset);
    // Windows reads any value whose type is not binary (0) as text.
    node.isText = type != kBinaryNode;
    node.keyOffset = offset + kNodeHeaderSize;
    size_t terminator = 0;
    if (!FindKeyEnd(tree, node.keyOffset, node.end, terminator))
        return NodeRead::kMalformed;
    node.keyUnits = (terminator - node.keyOffset) / 2;
    // Text values count UTF-16 units, binary ones bytes; a value is never read past its node.
    node.valueOffset = std::min(Align4(terminator + 2), node.end);
    const size_t claimed = node.isText ? size_t{valueLength} * 2 : valueLength;
    node.valueBytes = std::min(claimed, node.end - node.valueOffset);
    node.childrenOffset = node.valueOffset + node.valueBytes;
    return NodeRead::kNode;
}

} // namespace

NodeRead ReadNode(const ByteView& tree, size_t offset, size_t limit, VersionNode& node) {
    uint16_t length = 0;
    if (!InBounds(offset, kNodeHeaderSize, limit) || !tree.ReadU16(offset, length))
        return NodeRead::kMalformed;
    if (length == 0)
        return NodeRead::kEnd;
    return ReadNodeOfLength(tree, offset, length, node);
}

DWORD ValidateVersionTree(const ByteView& resource) {
    // Only the root is checked here: the nodes a query walks are checked as it walks them, so
    // that a broken node elsewhere in the tree does not matter, as it does not to Windows.
    VersionNode root;
    uint16_t rootLength = 0;
    return resource.ReadU16(0, rootLength) && rootLength <= resource.size() &&
                   ReadNode(resource, 0, resource.size(), root) == NodeRead::kNode
               ? ERROR_SUCCESS
               : ERROR_BAD_FORMAT;
}

DWORD FindVersionNode(const ByteView& tree, uint16_t rootLength, std::string_view path,
                      VersionNode& node) {
    if (ReadNodeOfLength(tree, 0, rootLength, node) != NodeRead::kNode)
        return ERROR_INVALID_DATA;
    size_t depth = 0;
    while (!path.empty()) {
        const size_t separator = std::min(path.find('\\'), path.size());
        const std::string_view key = path.substr(0, separator);
        path.remove_prefix(std::min(separator + 1, path.size()));
        // Windows reads "\\a\\\\b\\" as "\\a\\b": empty names are skipped.
        if (key.empty())
            continue;
        if (++depth > kMaxTreeDepth)
            return ERROR_RESOURCE_TYPE_NOT_FOUND;
        VersionNode child;
        if (DWORD error = FindChild(tree, node, key, child))
            return error;
        node = child;
    }
    return ERROR_SUCCESS;
}

std::string ReadVersionText(const ByteView& tree, size_t offset, size_t units, bool& sawNul) {
    std::u16string text;
    sawNul = false;
    uint16_t unit = 0;
    for (size_t i = 0; i < units && tree.ReadU16(offset + 2 * i, unit); ++i) {
        if (unit == 0) {
            sawNul = true;
            break;
        }
        text.push_back(static_cast<char16_t>(unit));
    }
    return Utf8FromUtf16(text);
}

} // namespace posix
