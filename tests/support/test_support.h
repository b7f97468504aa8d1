// Helpers shared by the test suites: scoped folders on the real disk, a prefix to point the
// POSIX layer at, and whole-file reads and writes.
#ifndef DLLINSTALL_TEST_SUPPORT_H
#define DLLINSTALL_TEST_SUPPORT_H

#include <filesystem>
#include <string>

namespace testing_support {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder (or the base given), removed with all it
// holds at the end of the scope, read-only entries included.
class TempFolder {
  public:
    explicit TempFolder(const std::string& tag = "dllinstall", const fs::path& base = {});
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

// Sets $WINEPREFIX for the scope and puts back what was there before.
class ScopedPrefix {
  public:
    explicit ScopedPrefix(const fs::path& prefix);
    ~ScopedPrefix();
    ScopedPrefix(const ScopedPrefix&) = delete;
    ScopedPrefix& operator=(const ScopedPrefix&) = delete;

  private:
    std::string saved_;
    bool hadValue_;
};

// What a prefix made for a test holds beyond drive_c/windows.
struct PrefixShape {
    bool systemFolder = true; // drive_c/windows/system32
    bool driveLinks = false;  // dosdevices/ with c: and z:, as Wine makes it
};

// Makes the prefix folder in that shape and returns it.
fs::path MakePrefix(const fs::path& prefix, PrefixShape shape = {});

// <prefix>/drive_c/windows/<name>: system32, or syswow64 for the DLLs of 32-bit programs.
fs::path SystemFolderOf(const fs::path& prefix, const std::string& name = "system32");

// A temporary folder holding a prefix with a system folder, set as $WINEPREFIX for its life;
// test fixtures inherit it.
struct PrefixFolders {
    TempFolder rootFolder;
    fs::path root = rootFolder.path();
    fs::path prefix = MakePrefix(root / "prefix");
    ScopedPrefix scoped{prefix};
    fs::path system32 = SystemFolderOf(prefix);
};

std::string ReadBytes(const fs::path& file);
void WriteBytes(const fs::path& file, const std::string& bytes);

// Takes every write permission away: a read-only file or folder on both platforms.
void MakeReadOnly(const fs::path& path);

// Makes every entry below the folder writable again, so that it can be removed.
void MakeWritable(const fs::path& folder);

// The fixture DLL of that name, built by the mingw-w64 toolchain; empty when it is missing.
fs::path Fixture(const std::string& name);

// The Windows form of a host path: on Linux, for a prefix without dosdevices/, where Z: is
// the host root; on Windows, the path itself.
std::string DosPath(const fs::path& hostPath);

// Deterministic filler: `size` bytes that differ with the salt.
std::string Filler(size_t size, unsigned salt);

// True in a Windows program that runs under Wine.
bool UnderWine();

} // namespace testing_support

#endif
