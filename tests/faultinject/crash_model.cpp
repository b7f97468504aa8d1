#include "crash_model.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>

namespace faultinject {

namespace {

std::string InodeOf(const struct stat& st) {
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

void ReadFolder(const fs::path& folder, const std::string& id, const std::string& prefix,
                const std::set<std::string>& skip, const Tree* known, Disk& disk) {
    auto& names = disk.names[id];
    for (const auto& item : fs::directory_iterator(folder)) {
        const std::string name = item.path().filename().string();
        struct stat st {};
        if (skip.count(name) || lstat(item.path().c_str(), &st) != 0)
            continue;
        const std::string inode = InodeOf(st);
        names[name] = inode;
        const auto same = known ? known->find(prefix + name) : Tree::const_iterator();
        if (disk.entries.count(inode) == 0)
            disk.entries[inode] = known && same != known->end() ? same->second : EntryOf(item);
        if (S_ISDIR(st.st_mode))
            ReadFolder(item.path(), inode, prefix + name + "/", skip, known, disk);
    }
}

std::string Lost(const std::string& bytes, Loss loss) {
    switch (loss) {
    case Loss::Nothing:
        return {};
    case Loss::Zeroes:
        return std::string(bytes.size(), '\0');
    case Loss::Half:
        return bytes.substr(0, bytes.size() / 2);
    case Loss::None:
        break;
    }
    return bytes;
}

struct StateBuilder {
    const Disk& before;
    const Disk& after;
    const std::map<std::string, Loss>& losses;
    const std::map<std::string, std::map<std::string, std::string>>& names;
    State state;

    const Entry* Find(const std::string& inode) const {
        const auto found = after.entries.find(inode);
        if (found != after.entries.end())
            return &found->second;
        const auto old = before.entries.find(inode);
        return old == before.entries.end() ? nullptr : &old->second;
    }

    void Add(const std::string& folder, const std::string& prefix) {
        const auto listed = names.find(folder);
        if (listed == names.end())
            return;
        for (const auto& [name, inode] : listed->second) {
            const Entry* entry = Find(inode);
            if (!entry)
                continue; // a file the run made and removed again: never on disk at a cut
            const auto loss = losses.find(inode);
            if (loss != losses.end() && entry->kind == 'f') {
                Entry& lost = state.lost[inode] = *entry;
                lost.bytes = Lost(entry->bytes, loss->second);
                entry = &lost;
            }
            state.entries[prefix + name] = entry;
            if (entry->kind == 'd')
                Add(inode, prefix + name + "/");
        }
    }
};

bool IsLostEntry(const State& state, const Entry* entry) {
    for (const auto& [inode, lost] : state.lost) {
        if (&lost == entry)
            return true;
    }
    return false;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::vector<ModelRecord> ReadModel(const fs::path& file) {
    std::vector<ModelRecord> records;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        ModelRecord record;
        fields >> record.k >> record.kind >> record.folder;
        if (record.kind == 'N')
            fields >> record.inode;
        if (record.kind == 'N' || record.kind == 'U') {
            fields.get();
            std::getline(fields, record.name);
        }
        records.push_back(record);
    }
    return records;
}

Disk ReadDisk(const fs::path& root, const std::set<std::string>& skip, const Tree* known) {
    Disk disk;
    struct stat st {};
    if (lstat(root.c_str(), &st) != 0)
        return disk;
    disk.root = InodeOf(st);
    ReadFolder(root, disk.root, "", skip, known, disk);
    return disk;
}

Pending ReplayRecords(const std::vector<ModelRecord>& records) {
    Pending pending;
    for (const ModelRecord& record : records) {
        if (record.kind == 'N' || record.kind == 'U')
            pending.changes[record.folder].push_back(&record);
        else if (record.kind == 'D')
            pending.dirtyData.insert(record.folder);
        else if (record.kind == 'F')
            pending.dirtyData.erase(record.folder);
        else if (record.kind == 'S')
            pending.durable[record.folder] = pending.changes[record.folder].size();
        if (record.kind != 'V')
            continue;
        // A file system flushed whole: every folder and file on it ("*": on all of them).
        const std::string device = record.folder + ":";
        const auto on = [&](const std::string& id) {
            return record.folder == "*" || id.compare(0, device.size(), device) == 0;
        };
        for (const auto& [folder, changes] : pending.changes) {
            if (on(folder))
                pending.durable[folder] = changes.size();
        }
        std::erase_if(pending.dirtyData, on);
    }
    return pending;
}

std::vector<Kept> ChoicesOf(const Pending& pending) {
    Kept least;
    std::vector<std::string> open; // folders with changes that are not durable
    for (const auto& [folder, changes] : pending.changes) {
        const auto durable = pending.durable.find(folder);
        least[folder] = durable == pending.durable.end() ? 0 : durable->second;
        if (least[folder] < changes.size())
            open.push_back(folder);
    }
    std::vector<Kept> choices = {Kept{}, least};
    for (const std::string& folder : open) {
        const size_t total = pending.changes.at(folder).size();
        Kept alone = least;
        alone.erase(folder); // this folder keeps all, the others only what is durable
        choices.push_back(alone);
        // This folder keeps part of its changes, the others all: every point, or 6 of them.
        const size_t span = total - least[folder];
        const size_t step = std::max<size_t>(1, span / 6);
        for (size_t keep = least[folder]; keep < total; keep += step)
            choices.push_back(Kept{{folder, keep}});
    }
    return choices;
}

State StateOf(const Disk& before, const Disk& after, const Pending& pending, const Kept& kept,
              const std::map<std::string, Loss>& losses) {
    auto names = before.names;
    for (const auto& [folder, changes] : pending.changes) {
        const auto limit = kept.find(folder);
        const size_t count = limit == kept.end() ? changes.size() : limit->second;
        auto& listed = names[folder];
        for (size_t i = 0; i < count; ++i) {
            if (changes[i]->kind == 'N')
                listed[changes[i]->name] = changes[i]->inode;
            else
                listed.erase(changes[i]->name);
        }
    }
    StateBuilder builder{before, after, losses, names, {}};
    builder.Add(before.root, "");
    return std::move(builder.state);
}

const Entry* FindIgnoringCase(const State& state, const std::string& path) {
    const std::string wanted = Upper(path);
    for (const auto& [key, entry] : state.entries) {
        if (key.size() == wanted.size() && Upper(key) == wanted)
            return entry;
    }
    return nullptr;
}

void WriteState(const fs::path& root, const State& state) {
    fs::create_directories(root);
    for (const auto& [path, entry] : state.entries) {
        const fs::path target = root / path;
        if (entry->kind == 'd')
            fs::create_directory(target);
        else if (entry->kind == 'l')
            fs::create_symlink(entry->linkTarget, target);
        else if (entry->kind == 'f')
            testing_support::WriteBytes(target, entry->bytes);
        if (entry->kind == 'f')
            fs::permissions(target, entry->perms);
    }
}

std::string StateKey(const State& state, std::map<const Entry*, size_t>& hashes) {
    std::string key;
    for (const auto& [path, entry] : state.entries) {
        size_t hash = 0;
        const auto cached = hashes.find(entry);
        if (cached != hashes.end()) {
            hash = cached->second;
        } else {
            hash = std::hash<std::string>{}(entry->bytes);
            if (!IsLostEntry(state, entry))
                hashes[entry] = hash;
        }
        key += path + "|" + entry->kind + std::to_string(static_cast<unsigned>(entry->perms)) +
               "|" + std::to_string(hash) + entry->linkTarget + "\n";
    }
    return key;
}

} // namespace faultinject
