// The folders the install benchmark works on: program folders and Wine prefixes made of the real
// fixture DLLs padded to realistic sizes, and plain trees for the removal benchmark.
#ifndef DLLINSTALL_BENCH_LAYOUT_H
#define DLLINSTALL_BENCH_LAYOUT_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

enum class Installed { Absent, Older, Newer };

// One DLL of the library folder and what the system folder already holds under its name.
struct Library {
    std::string name;
    std::string offeredFixture;
    uint64_t offeredSize = 0;
    Installed installed = Installed::Absent;
    std::string installedFixture;
    uint64_t installedSize = 0;
};

struct InstallPlan {
    std::vector<Library> libraries;
    uint64_t primarySize = 0;
};

// The same plan for the same count on every run: sizes, versions and names are drawn from a
// fixed seed.
InstallPlan PlanInstall(int libraryCount);

// The per-file cost: DLLs of 64 KiB each, every 50th offered over an older installed copy, the
// others new.
InstallPlan PlanUniform(int libraryCount);

// Whether the tool copies this DLL: only a newer installed copy stops it, and only when the
// version reader can tell.
bool IsCopied(const Library& library, bool readerWorks);

// Writes real fixture DLLs padded with incompressible filler up to any size.
class DllWriter {
  public:
    explicit DllWriter(const fs::path& fixtureFolder);
    void Write(const fs::path& file, const std::string& fixture, uint64_t size) const;

  private:
    std::map<std::string, std::string> fixtures_;
    std::vector<char> filler_;
};

struct InstallFolders {
    fs::path prefix;
    fs::path programFolder;
    fs::path systemFolder;
};

// Builds a prefix (with dosdevices/, as Wine makes it) and a program folder holding the tool,
// Tarvik.dll and LIB under root, which must not exist yet.
InstallFolders BuildInstall(const fs::path& root, const InstallPlan& plan, const DllWriter& writer,
                            const fs::path& tool);

// Empty text when the folders show the finished install of the plan, else what is wrong.
std::string CheckInstalled(const InstallFolders& folders, const InstallPlan& plan,
                           bool readerWorks);

// The copies the tool's log file reports; -1 when there is no log file.
int CountLoggedCopies(const InstallFolders& folders);

struct TreeShape {
    int topFolders = 10;
    int subFolders = 10;
    int filesPerFolder = 1000;
    int FileCount() const { return topFolders * subFolders * filesPerFolder; }
    int FolderCount() const { return 1 + topFolders + topFolders * subFolders; }
};

// Builds a folder tree of small files for the removal benchmark.
void BuildTree(const fs::path& root, const TreeShape& shape);

// Writes back the file system that holds the folder, so that a timed run does not pay for the
// setup's writes.
void FlushFileSystem(const fs::path& folder);

// The kind of file system that holds the folder ("tmpfs", "ext4", ...), for the report.
std::string FileSystemName(const fs::path& folder);

// Removes a folder of ours, read-only entries included.
void RemoveAll(const fs::path& path);

} // namespace bench

#endif
