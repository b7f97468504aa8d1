#include "version/version_block.h"
#include "version/version_tree.h"

#include <algorithm>
#include <cstring>

namespace posix {

namespace {

constexpr BYTE kSignature[4] = {'F', 'E', '2', 'X'};
// After the signature: the root node's own length, which may be shorter than the tree.
constexpr size_t kRootLengthSize = 2;
constexpr size_t kTrailerSize = sizeof kSignature + kRootLengthSize;

// A string of k UTF-16 units at offset p ends within the tree (p + 2k <= L) and takes at most
// 3k UTF-8 bytes, so p + 3k + 1 <= L + L/2 + 1: this room holds any string put at its offset.
size_t ConvertedRoom(size_t treeLength) {
    return treeLength + treeLength / 2 + 1;
}

BYTE* ConvertedArea(BYTE* block, size_t treeLength) {
    return block + treeLength + kTrailerSize;
}

DWORD ConvertText(BYTE* block, const ByteView& tree, size_t rootLength, const VersionNode& node,
                  void*& value, UINT& length) {
    bool sawNul = false;
    const std::string text = ReadVersionText(tree, node.valueOffset, node.valueBytes / 2, sawNul);
    const size_t needed = text.size() + (sawNul ? 1 : 0);
    // Windows converts into an area as long as the root, at the text's offset in the tree: what
    // does not fit there is cut off, without a terminator, and the length given is 0.
    const size_t room = node.valueOffset < rootLength ? rootLength - node.valueOffset : 0;
    const size_t written = std::min(needed, room);
    if (!InBounds(node.valueOffset, written + 1, ConvertedRoom(tree.size())))
        return ERROR_INSUFFICIENT_BUFFER;
    BYTE* into = ConvertedArea(block, tree.size()) + node.valueOffset;
    memcpy(into, text.data(), std::min(written, text.size()));
    into[written] = '\0';
    value = into;
    // As Windows counts it: the characters converted, the terminator among them when the
    // resource has one; an empty value, or one cut off, is 0.
    length = static_cast<UINT>(node.valueBytes == 0 || written < needed ? 0 : needed);
    return ERROR_SUCCESS;
}

} // namespace

size_t VersionBlockSize(size_t treeLength) {
    return treeLength + kTrailerSize + ConvertedRoom(treeLength);
}

DWORD FillVersionBlock(const std::vector<BYTE>& tree, size_t blockSize, BYTE* block) {
    // The tree's length must fit its 16-bit length word.
    size_t kept = std::min({tree.size(), size_t{0xFFFF}, blockSize * 2 / 5});
    while (kept > 0 && VersionBlockSize(kept) > blockSize)
        --kept;
    if (kept < kNodeHeaderSize)
        return ERROR_INSUFFICIENT_BUFFER;
    memcpy(block, tree.data(), kept);
    const size_t rootLength = std::min<size_t>(tree[0] | tree[1] << 8, kept);
    block[0] = static_cast<BYTE>(kept);
    block[1] = static_cast<BYTE>(kept >> 8);
    memcpy(block + kept, kSignature, sizeof kSignature);
    // Windows puts the signature right after the root, over whatever of the resource follows;
    // a root shorter than its own header is unreadable anyway, and writing there would overwrite
    // the length word that bounds every later query.
    if (rootLength >= kNodeHeaderSize)
        memcpy(block + rootLength, kSignature, std::min(sizeof kSignature, kept - rootLength));
    block[kept + sizeof kSignature] = static_cast<BYTE>(rootLength);
    block[kept + sizeof kSignature + 1] = static_cast<BYTE>(rootLength >> 8);
    memset(ConvertedArea(block, kept), 0, ConvertedRoom(kept));
    return ERROR_SUCCESS;
}

DWORD QueryVersionBlock(BYTE* block, std::string_view path, void*& value, UINT& length) {
    const size_t treeLength = block[0] | block[1] << 8;
    if (treeLength < kNodeHeaderSize ||
        memcmp(block + treeLength, kSignature, sizeof kSignature) != 0)
        return ERROR_INVALID_DATA;
    const ByteView tree(block, treeLength);
    const BYTE* trailer = block + treeLength + sizeof kSignature;
    const auto rootLength = static_cast<uint16_t>(trailer[0] | trailer[1] << 8);
    VersionNode node;
    if (DWORD error = FindVersionNode(tree, rootLength, path, node))
        return error;
    if (node.isText)
        return ConvertText(block, tree, rootLength, node, value, length);
    value = block + node.valueOffset;
    length = static_cast<UINT>(node.valueBytes);
    return ERROR_SUCCESS;
}

} // namespace posix
