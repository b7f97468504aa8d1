#include "pe_version.h"

#include <stdexcept>

namespace testing_support {

namespace {

// A node of the version tree: wLength, wValueLength, wType, a UTF-16 key, then its value and
// its children, each aligned to four bytes from the start of the tree.
struct Node {
    size_t offset = 0; // in the bytes read
    std::string key;
    std::string value; // raw bytes: UTF-16 text when the type is 1, binary otherwise
    std::vector<Node> children;
};

struct Tree {
    const std::string& bytes;
    size_t start; // where the root lies in the bytes
};

[[noreturn]] void Malformed(const std::string& what) {
    throw std::runtime_error("malformed version resource: " + what);
}

uint16_t Read16(const std::string& bytes, size_t offset, size_t end) {
    if (offset > end || end - offset < 2)
        Malformed("a read beyond its node");
    return GetU16(bytes, offset);
}

size_t Align4(const Tree& tree, size_t offset) {
    return tree.start + ((offset - tree.start + 3) & ~size_t{3});
}

// UTF-16 text as UTF-8, up to its first terminator.
std::string Utf8(const std::string& utf16) {
    std::string text;
    for (size_t i = 0; i + 1 < utf16.size(); i += 2) {
        const unsigned unit = GetU16(utf16, i);
        if (unit == 0)
            break;
        if (unit < 0x80) {
            text += static_cast<char>(unit);
        } else if (unit < 0x800) {
            text += static_cast<char>(0xC0 | unit >> 6);
            text += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            text += static_cast<char>(0xE0 | unit >> 12);
            text += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return text;
}

Node ReadNode(const Tree& tree, size_t start, size_t end, int depth) {
    const std::string& data = tree.bytes;
    if (depth > 4)
        Malformed("nesting deeper than a version resource has");
    const size_t length = Read16(data, start, end), valueLength = Read16(data, start + 2, end);
    const bool text = Read16(data, start + 4, end) == 1;
    if (length < 6 || length > end - start)
        Malformed("a node longer than its parent or shorter than its header");
    const size_t nodeEnd = start + length;
    Node node;
    node.offset = start;
    size_t offset = start + 6;
    std::string key;
    for (; Read16(data, offset, nodeEnd) != 0; offset += 2)
        key += data.substr(offset, 2);
    node.key = Utf8(key);
    offset = Align4(tree, offset + 2);
    const size_t valueBytes = text ? valueLength * 2 : valueLength;
    if (offset > nodeEnd || valueBytes > nodeEnd - offset)
        Malformed("a value longer than its node");
    node.value = data.substr(offset, valueBytes);
    for (offset = Align4(tree, offset + valueBytes); offset < nodeEnd;) {
        node.children.push_back(ReadNode(tree, offset, nodeEnd, depth + 1));
        offset = Align4(tree, offset + Read16(data, offset, nodeEnd));
    }
    return node;
}

void ReadFixedPart(const Node& root, VersionResource& resource) {
    const std::string& fixed = root.value;
    if (fixed.size() < 52)
        Malformed("no fixed part");
    resource.signature = GetU32(fixed, 0);
    resource.fileVersionMs = GetU32(fixed, 8);
    resource.fileVersionLs = GetU32(fixed, 12);
    resource.productVersionMs = GetU32(fixed, 16);
    resource.productVersionLs = GetU32(fixed, 20);
    resource.fileOs = GetU32(fixed, 32);
    resource.fileType = GetU32(fixed, 36);
}

} // namespace

VersionResource ParseVersionResource(const std::string& data) {
    const Node root = ReadNode(Tree{data, 0}, 0, data.size(), 0);
    if (root.key != "VS_VERSION_INFO")
        Malformed("the root is not VS_VERSION_INFO");
    VersionResource resource;
    ReadFixedPart(root, resource);
    for (const Node& child : root.children) {
        for (const Node& table : child.children) {
            if (child.key == "StringFileInfo") {
                for (const Node& value : table.children)
                    resource.stringTables[table.key][value.key] = Utf8(value.value);
            } else if (child.key == "VarFileInfo" && table.key == "Translation") {
                for (size_t i = 0; i + 4 <= table.value.size(); i += 4)
                    resource.translations.push_back(GetU32(table.value, i));
            }
        }
    }
    return resource;
}

std::vector<size_t> VersionNodePath(const std::string& image, const PeLayout& layout,
                                    const std::vector<std::string>& keys) {
    const Node root =
        ReadNode(Tree{image, layout.data}, layout.data, layout.data + layout.dataSize, 0);
    std::vector<size_t> path = {root.offset};
    const Node* node = &root;
    for (const std::string& key : keys) {
        const Node* next = nullptr;
        for (const Node& child : node->children) {
            if (!next && child.key == key)
                next = &child;
        }
        if (!next)
            break;
        path.push_back(next->offset);
        node = next;
    }
    return path;
}

} // namespace testing_support
