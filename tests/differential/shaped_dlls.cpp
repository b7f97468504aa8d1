#include "generated_image.h"
#include "version_generator.h"

#include <stdexcept>

namespace differential {

namespace {

std::string TextBytes(const std::string& ascii) {
    std::string out;
    for (char c : ascii + '\0')
        out += std::string{c, '\0'};
    return out;
}

VersionNodeSpec Text(const std::string& key, const std::string& value) {
    return {.key = {key.begin(), key.end()}, .type = 1, .value = TextBytes(value)};
}

VersionNodeSpec Node(const std::string& key, uint16_t type, std::vector<VersionNodeSpec> children) {
    return {.key = {key.begin(), key.end()}, .type = type, .children = std::move(children)};
}

// A version tree of one translation, English (US) in Unicode, with that product version.
VersionNodeSpec VersionTree(const std::string& productVersion) {
    std::string fixed(52, '\0');
    fixed.replace(0, 4, "\xBD\x04\xEF\xFE");
    VersionNodeSpec translation{.key = u"Translation", .type = 0, .value = {"\x09\x04\xB0\x04", 4}};
    VersionNodeSpec root = Node(
        "VS_VERSION_INFO", 0,
        {Node("StringFileInfo", 1, {Node("040904b0", 1, {Text("ProductVersion", productVersion)})}),
         Node("VarFileInfo", 1, {translation})});
    root.value = fixed;
    return root;
}

// A chain of nodes nested deeper than any query goes, beside the nodes a query walks.
VersionNodeSpec DeepChain(size_t levels) {
    VersionNodeSpec node = Text("deep", "bottom");
    for (size_t i = 1; i < levels; ++i)
        node = Node("k", 1, {node});
    return node;
}

ImageSpec PlainImage(const VersionNodeSpec& tree) {
    ImageSpec image;
    image.resources.data.push_back({.bytes = WriteVersionTree(tree)});
    ResourceEntrySpec language{.id = 0x409, .dataIndex = 0};
    image.resources.types.push_back({.id = 16, .children = {{.id = 1, .children = {language}}}});
    return image;
}

} // namespace

std::string ShapedDll(const std::string& shape, const std::string& productVersion) {
    VersionNodeSpec tree = VersionTree(productVersion);
    if (shape == "deep_unrelated_subtree")
        tree.children.insert(tree.children.begin(), DeepChain(20));
    // Far enough past the resource for Wine's VerQueryValueA to write past the block and fault.
    if (shape == "lying_block_length")
        tree.lengthDelta = 0xF000 - static_cast<int>(WriteVersionTree(tree).size());
    if (shape == "unrelated_malformed_node") {
        VersionNodeSpec unknownType = Text("Other", "x");
        unknownType.type = 7;
        VersionNodeSpec unterminated = Text("Broken", "x");
        unterminated.unterminatedKey = true;
        tree.children[0].children[0].children.push_back(unknownType);
        tree.children[1].children.push_back(unterminated);
    }
    ImageSpec image = PlainImage(tree);
    std::vector<ResourceEntrySpec>& types = image.resources.types;
    if (shape == "ids_with_high_bits") {
        types[0].id |= 0x00050000;
        types[0].children[0].id |= 0x7FFF0000;
        types[0].children[0].children[0].id |= 0x00010000;
    } else if (shape == "unrelated_malformed_node") {
        types.push_back({.id = 24, .rawTarget = true, .targetField = 0x80FFFFF0});
        types.push_back({.id = 3, .rawTarget = true, .targetField = 0x80000000});
    } else if (shape == "deep_unrelated_subtree") {
        image.resources.data.push_back({.bytes = "deep"});
        ResourceEntrySpec chain{.id = 1, .dataIndex = 1};
        for (int i = 0; i < 40; ++i)
            chain = ResourceEntrySpec{.id = 1, .children = {chain}};
        chain.id = 0x2000;
        types.push_back(chain);
    } else if (shape == "zero_fill") {
        image.resources.data[0].sizeDelta = 48;
        image.cutData = 0;
    } else if (shape == "data_in_the_headers") {
        image.resources.data[0].inHeaders = true;
    } else if (shape != "lying_block_length" && shape != "deep_unrelated_subtree") {
        throw std::invalid_argument("no DLL shape " + shape);
    }
    return WriteImage(image);
}

} // namespace differential
