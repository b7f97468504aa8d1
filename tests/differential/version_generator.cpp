#include "version_generator.h"
#include "generated_image.h"

#include <cstdio>
#include <random>

namespace differential {

namespace {

constexpr uint32_t kRtVersion = 16;

class Random {
  public:
    Random(uint64_t seed, uint64_t index) {
        std::seed_seq sequence{seed >> 32, seed & 0xFFFFFFFF, index >> 32, index & 0xFFFFFFFF};
        engine_.seed(sequence);
    }
    bool Chance(double p) { return std::bernoulli_distribution(p)(engine_); }
    uint32_t Between(uint32_t low, uint32_t high) {
        return std::uniform_int_distribution<uint32_t>(low, high)(engine_);
    }
    template <typename T> const T& Pick(const std::vector<T>& items) {
        return items[Between(0, static_cast<uint32_t>(items.size() - 1))];
    }

  private:
    std::mt19937_64 engine_;
};

std::u16string U16(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

std::string TextBytes(const std::u16string& text) {
    std::string out;
    for (char16_t unit : text + u'\0') {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

VersionNodeSpec Text(const std::string& key, const std::string& value) {
    return {.key = U16(key), .type = 1, .value = TextBytes(U16(value))};
}

std::string RandomVersion(Random& r) {
    char text[64];
    snprintf(text, sizeof text, "%u.%u.%u.%u", r.Between(0, 20), r.Between(0, 99),
             r.Between(0, 999), r.Between(0, 9999));
    return text;
}

std::string Hex8(uint32_t value, bool upper) {
    char text[16];
    snprintf(text, sizeof text, upper ? "%08X" : "%08x", value);
    return text;
}

// A chain of nodes levels deep, each with one child, the deepest holding a text.
VersionNodeSpec DeepVersionChain(Random& r, uint32_t levels) {
    VersionNodeSpec node = Text("deep", "bottom");
    for (uint32_t i = 1; i < levels; ++i)
        node = VersionNodeSpec{
            .key = U16("k" + std::to_string(r.Between(0, 9))), .type = 1, .children = {node}};
    return node;
}

// A node whose fields lie in one of the ways hostile files make them lie.
VersionNodeSpec MalformedVersionNode(Random& r) {
    VersionNodeSpec node = Text("Broken", "x");
    switch (r.Between(0, 4)) {
    case 0:
        node.type = static_cast<uint16_t>(r.Between(2, 0xFFFF));
        break;
    case 1:
        node.lengthDelta = static_cast<int>(r.Between(1, 400));
        break;
    case 2:
        node.valueLengthField = static_cast<int>(r.Between(100, 0xFFFF));
        break;
    case 3:
        node.unterminatedKey = true;
        break;
    default:
        node.lengthDelta = -static_cast<int>(r.Between(1, 20));
        break;
    }
    return node;
}

void InsertAnywhere(Random& r, std::vector<VersionNodeSpec>& children, VersionNodeSpec node) {
    children.insert(children.begin() + r.Between(0, static_cast<uint32_t>(children.size())),
                    std::move(node));
}

void AppendLast(std::vector<VersionNodeSpec>& children, VersionNodeSpec node) {
    children.push_back(std::move(node));
}

struct Translation {
    uint16_t language;
    uint16_t codePage;
};

std::vector<Translation> Translations(Random& r) {
    static const std::vector<uint16_t> languages = {0x409, 0x407, 0x40C, 0x411, 0x000, 0x809};
    static const std::vector<uint16_t> codePages = {0x4B0, 0x4E4, 0x000};
    std::vector<Translation> out(r.Between(1, 3));
    for (Translation& t : out)
        t = {r.Pick(languages), r.Pick(codePages)};
    return out;
}

VersionNodeSpec StringTable(Random& r, const Translation& t, std::set<std::string>& shapes) {
    const bool upper = r.Chance(0.2);
    VersionNodeSpec table{.key = U16(Hex8(uint32_t{t.language} << 16 | t.codePage, upper)),
                          .type = 1};
    table.children = {Text("CompanyName", "Generated"), Text("FileVersion", RandomVersion(r))};
    if (r.Chance(0.92)) {
        VersionNodeSpec product =
            Text(r.Chance(0.1) ? "PRODUCTVERSION" : "ProductVersion", RandomVersion(r));
        if (r.Chance(0.12)) {
            product.type = r.Pick<uint16_t>({0, 2, 7, 0x100, 0xFFFF});
            shapes.insert("text_node_of_another_type");
        }
        if (r.Chance(0.06)) {
            product.valueLengthField = static_cast<int>(r.Between(0, 300));
            shapes.insert("value_length_lies");
        }
        InsertAnywhere(r, table.children, std::move(product));
    }
    AppendLast(table.children, Text("ProductName", "Generated product"));
    return table;
}

std::string TranslationBytes(const std::vector<Translation>& translations) {
    std::string out;
    for (const Translation& t : translations)
        for (uint16_t value : {t.language, t.codePage}) {
            out.push_back(static_cast<char>(value & 0xFF));
            out.push_back(static_cast<char>(value >> 8));
        }
    return out;
}

// The lists of children a mutation may add to: the root's, its children's and the tables'.
std::vector<VersionNodeSpec>& SomeChildren(Random& r, VersionNodeSpec& root) {
    std::vector<std::vector<VersionNodeSpec>*> parents = {&root.children};
    for (VersionNodeSpec& child : root.children) {
        parents.push_back(&child.children);
        for (VersionNodeSpec& grandchild : child.children)
            if (!grandchild.children.empty())
                parents.push_back(&grandchild.children);
    }
    return *r.Pick(parents);
}

// Unrelated nodes that are malformed or nested deep, put beside the nodes a query walks.
void MutateVersionTree(Random& r, VersionNodeSpec& root, std::set<std::string>& shapes) {
    if (r.Chance(0.15)) {
        InsertAnywhere(r, SomeChildren(r, root), DeepVersionChain(r, r.Between(9, 40)));
        shapes.insert("deep_unrelated_version_subtree");
    }
    if (r.Chance(0.15)) {
        AppendLast(SomeChildren(r, root), MalformedVersionNode(r));
        shapes.insert("malformed_node_after_the_path");
    }
    if (r.Chance(0.05)) {
        InsertAnywhere(r, SomeChildren(r, root), MalformedVersionNode(r));
        shapes.insert("malformed_node_anywhere");
    }
    if (r.Chance(0.08)) {
        root.lengthDelta = static_cast<int>(r.Chance(0.1) ? 0xFFFF : r.Between(1, 600));
        shapes.insert("block_length_past_the_end");
    } else if (r.Chance(0.04)) {
        root.lengthDelta = -static_cast<int>(r.Between(1, 200));
        shapes.insert("block_length_short");
    }
}

std::string VersionTreeBytes(Random& r, std::set<std::string>& shapes) {
    const std::vector<Translation> translations = Translations(r);
    VersionNodeSpec strings{.key = U16("StringFileInfo"), .type = 1};
    for (const Translation& t : translations)
        if (r.Chance(0.9))
            strings.children.push_back(StringTable(r, t, shapes));
    VersionNodeSpec translation{
        .key = U16("Translation"), .type = 0, .value = TranslationBytes(translations)};
    VersionNodeSpec vars{.key = U16("VarFileInfo"), .type = 1};
    if (r.Chance(0.95))
        vars.children.push_back(translation);
    std::string fixed(52, '\0');
    fixed[0] = '\xBD', fixed[1] = '\x04', fixed[2] = '\xEF', fixed[3] = '\xFE';
    VersionNodeSpec root{.key = U16("VS_VERSION_INFO"), .type = 0, .value = fixed};
    root.children = {strings, vars};
    if (r.Chance(0.3))
        std::swap(root.children[0], root.children[1]);
    MutateVersionTree(r, root, shapes);
    return WriteVersionTree(root);
}

// A directory chain levels deep below an unrelated type, ending in one data entry.
ResourceEntrySpec DeepResourceChain(Random& r, uint32_t levels, int dataIndex) {
    ResourceEntrySpec entry{.id = r.Between(1, 0xFFFF), .dataIndex = dataIndex};
    for (uint32_t i = 0; i < levels; ++i)
        entry = ResourceEntrySpec{.id = r.Between(1, 0xFFFF), .children = {entry}};
    return entry;
}

// An entry whose target is broken: outside the directory, back to the root, or to data where
// a table is wanted.
ResourceEntrySpec BrokenEntry(Random& r) {
    static const std::vector<uint32_t> targets = {0x80FFFFF0, 0x80000000, 0x00FFFFF0,
                                                  0x7FFFFFF0, 0x80000010, 0x00000000};
    return {.id = r.Between(1, 0xFFFF), .rawTarget = true, .targetField = r.Pick(targets)};
}

uint32_t HighBits(Random& r) {
    return r.Chance(0.2) ? 0x80000000 | r.Between(0, 0x7FFF) << 16 : r.Between(1, 0x7FFF) << 16;
}

// The languages of the version resource, each with a tree of its own.
std::vector<ResourceEntrySpec> Languages(Random& r, ResourceTreeSpec& tree,
                                         std::set<std::string>& shapes) {
    static const std::vector<uint32_t> languages = {0x000, 0x409, 0x009, 0x407, 0x40C,
                                                    0x411, 0x809, 0x400, 0x800, 0x437};
    std::vector<ResourceEntrySpec> out;
    std::set<uint32_t> used;
    const uint32_t count = r.Chance(0.7) ? 1 : r.Between(2, 4);
    while (out.size() < count) {
        const uint32_t language = r.Pick(languages);
        if (!used.insert(language).second)
            continue;
        out.push_back({.id = language, .dataIndex = static_cast<int>(tree.data.size())});
        tree.data.push_back({.bytes = VersionTreeBytes(r, shapes)});
    }
    if (count > 1)
        shapes.insert("several_languages");
    return out;
}

void AddUnrelatedTypes(Random& r, ResourceTreeSpec& tree, std::set<std::string>& shapes) {
    for (uint32_t i = r.Between(0, 3); i > 0; --i) {
        const auto data = static_cast<int>(tree.data.size());
        tree.data.push_back({.bytes = std::string(r.Between(1, 64), 'R')});
        ResourceEntrySpec language{.id = 0x409, .dataIndex = data};
        tree.types.push_back({.id = r.Pick<uint32_t>({3, 6, 14, 24, 0x2000}),
                              .children = {{.id = 1, .children = {language}}}});
    }
    if (r.Chance(0.1))
        tree.types.push_back({.name = u"CUSTOM", .children = {}});
    if (r.Chance(0.12)) {
        tree.types.push_back(BrokenEntry(r));
        shapes.insert("malformed_unrelated_entry");
    }
    if (r.Chance(0.1)) {
        const auto data = static_cast<int>(tree.data.size());
        tree.data.push_back({.bytes = "deep"});
        tree.types.push_back(DeepResourceChain(r, r.Between(4, 40), data));
        shapes.insert("deep_unrelated_resource_subtree");
    }
}

// Sets high bits on the ids of some entries, on the path or elsewhere.
void SetHighBits(Random& r, std::vector<ResourceEntrySpec>& entries, int depth) {
    for (ResourceEntrySpec& entry : entries) {
        if (entry.name.empty() && r.Chance(0.3))
            entry.id |= HighBits(r);
        if (depth < 2)
            SetHighBits(r, entry.children, depth + 1);
    }
}

ResourceTreeSpec ResourceTree(Random& r, std::set<std::string>& shapes) {
    ResourceTreeSpec tree;
    ResourceEntrySpec version{.id = kRtVersion,
                              .children = {{.id = 1, .children = Languages(r, tree, shapes)}}};
    if (r.Chance(0.1)) {
        const auto data = static_cast<int>(tree.data.size());
        tree.data.push_back({.bytes = VersionTreeBytes(r, shapes)});
        version.children.push_back({.id = 2, .children = {{.id = 0, .dataIndex = data}}});
    }
    if (r.Chance(0.08)) {
        version.children.push_back(BrokenEntry(r));
        version.children[0].children.push_back(BrokenEntry(r));
        shapes.insert("malformed_unrelated_entry");
    }
    tree.types.push_back(version);
    AddUnrelatedTypes(r, tree, shapes);
    if (r.Chance(0.2)) {
        SetHighBits(r, tree.types, 0);
        shapes.insert("ids_with_high_bits");
    }
    if (r.Chance(0.1)) {
        tree.unsorted = true;
        shapes.insert("unsorted_tables");
    }
    return tree;
}

// Where the version data lies: in the headers, or running into the section's zero fill.
void PlaceVersionData(Random& r, ImageSpec& image, std::set<std::string>& shapes) {
    ResourceData& data = image.resources.data.front();
    if (r.Chance(0.1)) {
        data.inHeaders = true;
        shapes.insert("data_in_the_headers");
    } else if (r.Chance(0.12)) {
        image.cutData = 0;
        image.cutBack = r.Chance(0.5) ? 0 : r.Between(1, 64);
        data.sizeDelta = r.Between(0, 64);
        shapes.insert(image.cutBack ? "data_cut_by_the_zero_fill"
                                    : "data_running_into_the_zero_fill");
    }
    // Rare: each of these costs a new Wine process, since Wine's version.dll faults on it.
    if (r.Chance(0.005)) {
        data.sizeDelta = r.Chance(0.5) ? 0x10000 : 0x7FFFFFFF;
        shapes.insert("data_size_past_the_section");
    }
}

} // namespace

GeneratedDll GenerateDll(uint64_t seed, uint64_t index) {
    Random r(seed, index);
    GeneratedDll dll;
    ImageSpec image{.pe32Plus = r.Chance(0.7)};
    image.resources = ResourceTree(r, dll.shapes);
    PlaceVersionData(r, image, dll.shapes);
    dll.bytes = WriteImage(image);
    return dll;
}

} // namespace differential
