#include "generated_image.h"

#include <algorithm>

namespace differential {

namespace {

void AppendU16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void SetU16(std::string& out, size_t at, uint16_t value) {
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>(value >> 8);
}

void PadTo4(std::string& out) {
    while (out.size() % 4)
        out.push_back('\0');
}

// The value's count as the node states it: UTF-16 units for text, bytes for binary.
uint16_t TrueValueLength(const VersionNodeSpec& node) {
    const size_t count = node.type == 0 ? node.value.size() : node.value.size() / 2;
    return static_cast<uint16_t>(count);
}

void Write(const VersionNodeSpec& node, std::string& out) {
    const size_t start = out.size();
    out.append(6, '\0');
    for (char16_t unit : node.key)
        AppendU16(out, unit);
    if (!node.unterminatedKey)
        AppendU16(out, 0);
    PadTo4(out);
    out += node.value;
    for (const VersionNodeSpec& child : node.children) {
        PadTo4(out);
        Write(child, out);
    }
    const long length = static_cast<long>(out.size() - start) + node.lengthDelta;
    SetU16(out, start, static_cast<uint16_t>(std::clamp(length, 0L, 0xFFFFL)));
    SetU16(out, start + 2,
           node.valueLengthField >= 0 ? static_cast<uint16_t>(node.valueLengthField)
                                      : TrueValueLength(node));
    SetU16(out, start + 4, node.type);
}

} // namespace

std::string WriteVersionTree(const VersionNodeSpec& root) {
    std::string out;
    Write(root, out);
    return out;
}

} // namespace differential
