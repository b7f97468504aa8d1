// An installation the fault suites run the Linux build in again and again, through the suite's
// runner, with the fault-injection library preloaded where asked; and snapshots of folders
// with every byte and mode, so that the results of runs can be compared exactly.
#ifndef DLLINSTALL_FAULTINJECT_INSTALLATION_H
#define DLLINSTALL_FAULTINJECT_INSTALLATION_H

#include "child_process.h"
#include "test_support.h"

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace faultinject {

namespace fs = std::filesystem;

constexpr const char* kToolName = "dllinstall";
constexpr const char* kLogName = "InstallLog_DLL.txt";
// What the log is written as before it takes its name; the next run clears a leftover.
constexpr const char* kLogTemporaryName = "~InstallLog.tmp";

using RunResult = testing_support::ProcessResult;
using testing_support::Describe;
using testing_support::DosPath;
using testing_support::Filler;
using testing_support::SystemFolderOf;

using Environment = std::vector<std::pair<std::string, std::string>>;

// Puts the tool into the program folder: a hard link where the file system allows, else a copy.
fs::path PlaceTool(const fs::path& programFolder);

// Runs <programFolder>/dllinstall there, with $WINEPREFIX set to the prefix and the extra
// variables; the fault-injection library is preloaded when `interposed` is set.
RunResult RunTool(const fs::path& programFolder, const fs::path& prefix,
                  const Environment& extra = {}, bool interposed = false);

// The log a run writes, from what it printed: every line it printed ends in CR LF there.
std::string LogFromConsole(const std::string& console);

struct Entry {
    char kind = '?'; // 'f' file, 'd' folder, 'l' symbolic link, '?' anything else
    std::string bytes;
    std::string linkTarget;
    fs::perms perms = fs::perms::none;
    bool operator==(const Entry&) const = default;
};

// One entry as it is on disk, a link not followed.
Entry EntryOf(const fs::directory_entry& item);

// Every entry below the root by its relative path ("LIB/sub/x.dll"); names in `skip` are left
// out wherever they occur.
using Tree = std::map<std::string, Entry>;
Tree Snapshot(const fs::path& root, const std::set<std::string>& skip = {});

// The first differences between two trees, one per line; empty when they are equal.
std::string DescribeDifferences(const Tree& expected, const Tree& actual);

// The entry of that name in any case, or null; the names tests use are ASCII.
const Entry* FindIgnoringCase(const Tree& tree, const std::string& name);

// True for the name of a temporary copy the Linux build writes beside its destination.
bool IsTemporary(const std::string& name);

// A program folder with the tool, Tarvik.dll and an empty LIB, and a prefix with its system
// folder, in a fresh temporary folder that goes at the end of the scope.
class Installation {
  public:
    explicit Installation(const std::string& tag);

    RunResult Run(const Environment& extra = {}, bool interposed = false) const;

    testing_support::TempFolder root;
    fs::path program;
    fs::path lib;
    fs::path prefix;
    fs::path system;
};

} // namespace faultinject

#endif
