#include "tree.h"

#include "test_support.h"

#include <cstdint>
#include <cstdio>
#include <stdexcept>

namespace e2e {

namespace {

const std::map<std::string, std::string>& FixturesByName() {
    static const std::map<std::string, std::string> fixtures = [] {
        std::map<std::string, std::string> byName;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(DLLINSTALL_FIXTURE_DIR, ec))
            if (entry.path().extension() == ".dll")
                byName[entry.path().filename().string()] = testing_support::ReadBytes(entry.path());
        return byName;
    }();
    return fixtures;
}

// 64-bit FNV-1a, in hex.
std::string HashOf(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : bytes)
        hash = (hash ^ c) * 1099511628211ull;
    char text[17];
    snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

bool HasNoWriteBit(fs::perms perms) {
    const fs::perms write =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (perms & write) == fs::perms::none;
}

std::string Label(const fs::directory_entry& entry) {
    if (entry.is_symlink())
        return "-> " + fs::read_symlink(entry.path()).string();
    if (entry.is_directory())
        return kFolder;
    const std::string bytes = testing_support::ReadBytes(entry.path());
    const std::string fixture = FixtureNameOf(bytes);
    const std::string label = fixture.empty() ? ContentLabel(bytes) : fixture;
    return HasNoWriteBit(entry.symlink_status().permissions()) ? label + kReadOnly : label;
}

} // namespace

// Short files show their bytes; long ones their size and a hash, to keep messages readable.
std::string ContentLabel(const std::string& bytes) {
    if (bytes.size() <= kLongestShownText)
        return "text:" + bytes;
    return "bytes:" + std::to_string(bytes.size()) + ":" + HashOf(bytes);
}

Tree ReadTree(const fs::path& root, const TreeFilter& leaveOut) {
    Tree tree;
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(root, ec)))
        return tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string relative = it->path().lexically_relative(root).generic_string();
        if (leaveOut && leaveOut(relative)) {
            it.disable_recursion_pending();
            continue;
        }
        tree[relative] = Label(*it);
    }
    return tree;
}

std::string Describe(const Tree& tree) {
    if (tree.empty())
        return "    (nothing)\n";
    std::string text;
    for (const auto& [path, what] : tree)
        text += "    " + path + "  " + what + "\n";
    return text;
}

std::string FixtureNameOf(const std::string& bytes) {
    for (const auto& [name, fixtureBytes] : FixturesByName())
        if (fixtureBytes == bytes)
            return name;
    return {};
}

const std::string& FixtureBytes(const std::string& name) {
    const auto found = FixturesByName().find(name);
    if (found == FixturesByName().end())
        throw std::runtime_error("fixture DLL " + name + " was not built");
    return found->second;
}

bool FixturesBuilt() {
    return FixturesByName().count("v1.0.0.0.dll") != 0;
}

} // namespace e2e
