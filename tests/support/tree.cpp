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

// The bits that no installed or untouched file of a scenario has under umask 022, and the
// read bits that every such file has.
std::string UnusualMode(fs::perms perms) {
    const auto bits = static_cast<unsigned>(perms & fs::perms::mask);
    if ((bits & 07133) == 0 && (bits & 0444) == 0444)
        return {};
    char text[24];
    snprintf(text, sizeof text, " (mode %04o)", bits);
    return text;
}

std::string Label(const fs::directory_entry& entry) {
    const fs::file_status status = entry.symlink_status();
    switch (status.type()) {
    case fs::file_type::symlink:
        return "-> " + fs::read_symlink(entry.path()).string();
    case fs::file_type::directory:
        return kFolder;
    case fs::file_type::fifo:
        return kFifo; // reading it would wait for a writer
    case fs::file_type::socket:
        return kSocket;
    case fs::file_type::block:
    case fs::file_type::character:
        return kDevice;
    default:
        break;
    }
    const std::string bytes = testing_support::ReadBytes(entry.path());
    const std::string fixture = FixtureNameOf(bytes);
    const std::string label = fixture.empty() ? ContentLabel(bytes) : fixture;
    const fs::perms perms = status.permissions();
    return label + (HasNoWriteBit(perms) ? kReadOnly : "") + UnusualMode(perms);
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
