// A model of what a file system keeps through a power cut, with the weak ordering real ones
// have: a file's data is durable only once it is flushed, a new, renamed or removed name only
// once its folder is flushed (or its whole file system); before that, each folder keeps any
// prefix of its own changes, whatever the other folders keep. The calls a run made come from
// the interposer's records (interposer_model.inc).
#ifndef DLLINSTALL_FAULTINJECT_CRASH_MODEL_H
#define DLLINSTALL_FAULTINJECT_CRASH_MODEL_H

#include "installation.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace faultinject {

// One record: k, kind (N U D M F S V), and for names the folder, the inode and the name.
struct ModelRecord {
    unsigned long k = 0;
    char kind = '?';
    std::string folder; // N U S: the folder; D M F: the inode; V: the device or "*"
    std::string inode;  // N: the inode named
    std::string name;   // N U
};
std::vector<ModelRecord> ReadModel(const fs::path& file);

// A tree as the model sees it: each folder's names by inode ("device:inode").
struct Disk {
    std::string root;
    std::map<std::string, std::map<std::string, std::string>> names;
    std::map<std::string, Entry> entries;
};
// The tree below root, the names in `skip` left out; an entry is taken from `known`, by its
// path, where that tree is given and has it, rather than read again.
Disk ReadDisk(const fs::path& root, const std::set<std::string>& skip, const Tree* known = nullptr);

// What a cut can still lose: per folder its changes and how many of them are durable; the
// files whose data is not.
struct Pending {
    std::map<std::string, std::vector<const ModelRecord*>> changes;
    std::map<std::string, size_t> durable;
    std::set<std::string> dirtyData;
};
Pending ReplayRecords(const std::vector<ModelRecord>& records);

// How much of each folder's changes a state keeps; a folder not listed keeps them all.
using Kept = std::map<std::string, size_t>;
// The choices a cut is checked with: all kept, only the durable ones, each folder with the
// least and the rest with all (and the other way round), and points between in each folder.
std::vector<Kept> ChoicesOf(const Pending& pending);

enum class Loss { None, Nothing, Zeroes, Half };
// A state by path: entries of the run's trees, or of `lost`, which holds the files whose data
// a cut lost.
struct State {
    std::map<std::string, const Entry*> entries;
    std::map<std::string, Entry> lost; // by inode
};
// The tree a state leaves: the names before the run with the kept changes, each entry as the
// run left it (or as it was before, for one no longer named), dirty data lost as told.
State StateOf(const Disk& before, const Disk& after, const Pending& pending, const Kept& kept,
              const std::map<std::string, Loss>& losses);

// The entry of that path in any case, or null; the names tests use are ASCII.
const Entry* FindIgnoringCase(const State& state, const std::string& path);

// Writes the state below root, which must not exist.
void WriteState(const fs::path& root, const State& state);

// A key that tells states apart by every path, kind, mode and byte; the hashes of the
// entries of the run's trees are kept in `hashes`, which lives as long as those trees.
std::string StateKey(const State& state, std::map<const Entry*, size_t>& hashes);

} // namespace faultinject

#endif
