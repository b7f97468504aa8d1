// Snapshots of folder trees and their differences.
#include "installation.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace faultinject {

namespace {

// One read of the whole file: the sweep reads many megabytes per run.
std::string ReadFile(const fs::path& file, uintmax_t size) {
    std::string bytes(size, '\0');
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
        const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
    }
    if (fd >= 0)
        close(fd);
    bytes.resize(done);
    return bytes;
}

std::string Summary(const Entry& entry) {
    std::ostringstream text;
    text << entry.kind;
    if (entry.kind == 'f')
        text << " " << entry.bytes.size() << " bytes";
    if (entry.kind == 'l')
        text << " -> " << entry.linkTarget;
    text << " mode " << std::oct << static_cast<unsigned>(entry.perms);
    return text.str();
}

} // namespace

Entry EntryOf(const fs::directory_entry& item) {
    Entry entry;
    const fs::file_status status = item.symlink_status();
    entry.perms = status.permissions();
    if (fs::is_symlink(status)) {
        entry.kind = 'l';
        entry.linkTarget = fs::read_symlink(item.path()).string();
    } else if (fs::is_directory(status)) {
        entry.kind = 'd';
    } else if (fs::is_regular_file(status)) {
        entry.kind = 'f';
        entry.bytes = ReadFile(item.path(), item.file_size());
    }
    return entry;
}

Tree Snapshot(const fs::path& root, const std::set<std::string>& skip) {
    Tree tree;
    if (!fs::exists(fs::symlink_status(root)))
        return tree;
    const size_t rootLength = root.string().size() + 1;
    fs::recursive_directory_iterator it(root), end;
    for (; it != end; ++it) {
        if (skip.count(it->path().filename().string())) {
            it.disable_recursion_pending();
            continue;
        }
        tree[it->path().string().substr(rootLength)] = EntryOf(*it);
    }
    return tree;
}

const Entry* FindIgnoringCase(const Tree& tree, const std::string& name) {
    const auto upper = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    };
    for (const auto& [key, entry] : tree) {
        if (upper(key) == upper(name))
            return &entry;
    }
    return nullptr;
}

bool IsTemporary(const std::string& name) {
    const std::string suffix = ".dllinstall";
    return name.rfind(".~", 0) == 0 && name.size() > suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string DescribeDifferences(const Tree& expected, const Tree& actual) {
    std::ostringstream text;
    int shown = 0;
    auto note = [&](const std::string& line) {
        if (shown++ < 8)
            text << "  " << line << "\n";
    };
    for (const auto& [name, entry] : expected) {
        const auto found = actual.find(name);
        if (found == actual.end())
            note("missing " + name + " (" + Summary(entry) + ")");
        else if (!(found->second == entry))
            note("changed " + name + ": " + Summary(entry) + " became " + Summary(found->second) +
                 (found->second.bytes != entry.bytes ? ", other bytes" : ""));
    }
    for (const auto& [name, entry] : actual) {
        if (!expected.count(name))
            note("unexpected " + name + " (" + Summary(entry) + ")");
    }
    return text.str();
}

} // namespace faultinject
