#include "version_resource.h"

#include <stdexcept>

namespace release {

namespace {

// A node of the version tree: wLength, wValueLength, wType, a UTF-16 key, then its value and
// its children, each aligned to four bytes.
struct Node {
    std::string key;
    std::string value; // raw bytes: UTF-16 text when the type is 1, binary otherwise
    std::vector<Node> children;
};

[[noreturn]] void Malformed(const std::string& what) {
    throw std::runtime_error("malformed version resource: " + what);
}

uint16_t Read16(const std::string& data, size_t offset, size_t end) {
    if (offset > end || end - offset < 2)
        Malformed("a read beyond its node");
    return static_cast<uint16_t>(static_cast<unsigned char>(data[offset]) |
                                 static_cast<unsigned char>(data[offset + 1]) << 8);
}

size_t Align4(size_t offset) {
    return (offset + 3) & ~size_t{3};
}

// UTF-16 text as UTF-8, up to its first terminator.
std::string Utf8(const std::string& utf16) {
    std::string text;
    for (size_t i = 0; i + 1 < utf16.size(); i += 2) {
        const unsigned unit = Read16(utf16, i, utf16.size());
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

Node ReadNode(const std::string& data, size_t start, size_t end, int depth) {
    if (depth > 4)
        Malformed("nesting deeper than a version resource has");
    const size_t length = Read16(data, start, end), valueLength = Read16(data, start + 2, end);
    const bool text = Read16(data, start + 4, end) == 1;
    if (length < 6 || length > end - start)
        Malformed("a node longer than its parent or shorter than its header");
    const size_t nodeEnd = start + length;
    Node node;
    size_t offset = start + 6;
    std::string key;
    for (; Read16(data, offset, nodeEnd) != 0; offset += 2)
        key += data.substr(offset, 2);
    node.key = Utf8(key);
    offset = Align4(offset + 2);
    const size_t valueBytes = text ? valueLength * 2 : valueLength;
    if (offset > nodeEnd || valueBytes > nodeEnd - offset)
        Malformed("a value longer than its node");
    node.value = data.substr(offset, valueBytes);
    for (offset = Align4(offset + valueBytes); offset < nodeEnd;) {
        node.children.push_back(ReadNode(data, offset, nodeEnd, depth + 1));
        offset = Align4(offset + Read16(data, offset, nodeEnd));
    }
    return node;
}

uint32_t Word32(const std::string& value, size_t offset) {
    return Read16(value, offset, value.size()) |
           static_cast<uint32_t>(Read16(value, offset + 2, value.size())) << 16;
}

void ReadFixedPart(const Node& root, VersionResource& resource) {
    if (root.value.size() < 52)
        Malformed("no fixed part");
    resource.signature = Word32(root.value, 0);
    resource.fileVersionMs = Word32(root.value, 8);
    resource.fileVersionLs = Word32(root.value, 12);
    resource.productVersionMs = Word32(root.value, 16);
    resource.productVersionLs = Word32(root.value, 20);
    resource.fileOs = Word32(root.value, 32);
    resource.fileType = Word32(root.value, 36);
}

} // namespace

VersionResource ParseVersionResource(const std::string& data) {
    const Node root = ReadNode(data, 0, data.size(), 0);
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
                    resource.translations.push_back(Word32(table.value, i));
            }
        }
    }
    return resource;
}

} // namespace release
