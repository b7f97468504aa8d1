#include "version/version_block.h"
#include "version/version_tree.h"

#include <algorithm>
#include <cstring>

namespace posix {

namespace {

constexpr BYTE kSignature[4] = {'F', 'E', '2', 'X'};

// A string of k UTF-16 units at offset p ends within the tree (p + 2k <= L) and takes at most
// 3k UTF-8 bytes, so p + 3k + 1 <= L + L/2 + 1: this room holds any string put at its offset.
size_t ConvertedRoom(size_t treeLength) {
    return treeLength + treeLength / 2 + 1;
}

BYTE* ConvertedArea(BYTE* block, size_t treeLength) {
    return block + treeLength + sizeof kSignature;
}

DWORD ConvertText(BYTE* block, const ByteView& tree, const VersionNode& node, void*& value,
                  UINT& length) {
    bool sawNul = false;
    const std::string text = ReadVersionText(tree, node.valueOffset, node.valueBytes / 2, sawNul);
    if (!InBounds(node.valueOffset, text.size() + 1, ConvertedRoom(tree.size())))
        return ERROR_INSUFFICIENT_BUFFER;
    BYTE* into = ConvertedArea(block, tree.size()) + node.valueOffset;
    memcpy(into, text.data(), text.size());
    into[text.size()] = '\0';
    value = into;
    // As Windows counts it: the characters converted, the terminator among them when the
    // resource has one; an empty value is 0.
    length = static_cast<UINT>(node.valueBytes == 0 ? 0 : text.size() + (sawNul ? 1 : 0));
    return ERROR_SUCCESS;
}

} // namespace

size_t VersionBlockSize(size_t treeLength) {
    return treeLength + sizeof kSignature + ConvertedRoom(treeLength);
}

DWORD FillVersionBlock(const std::vector<BYTE>& tree, size_t blockSize, BYTE* block) {
    // The tree's length must fit its 16-bit length word.
    size_t kept = std::min({tree.size(), size_t{0xFFFF}, blockSize * 2 / 5});
    while (kept > 0 && VersionBlockSize(kept) > blockSize)
        --kept;
    if (kept < kNodeHeaderSize)
        return ERROR_INSUFFICIENT_BUFFER;
    memcpy(block, tree.data(), kept);
    block[0] = static_cast<BYTE>(kept);
    block[1] = static_cast<BYTE>(kept >> 8);
    memcpy(block + kept, kSignature, sizeof kSignature);
    memset(ConvertedArea(block, kept), 0, ConvertedRoom(kept));
    return ERROR_SUCCESS;
}

DWORD QueryVersionBlock(BYTE* block, std::string_view path, void*& value, UINT& length) {
    const size_t treeLength = block[0] | block[1] << 8;
    if (treeLength < kNodeHeaderSize ||
        memcmp(block + treeLength, kSignature, sizeof kSignature) != 0)
        return ERROR_INVALID_DATA;
    const ByteView tree(block, treeLength);
    VersionNode node;
    if (DWORD error = FindVersionNode(tree, path, node))
        return error;
    if (node.type == kTextNode)
        return ConvertText(block, tree, node, value, length);
    value = block + node.valueOffset;
    length = static_cast<UINT>(node.valueBytes);
    return ERROR_SUCCESS;
}

} // namespace posix
