// What a folder holds, as a map that tests can state in full and compare.
#ifndef DLLINSTALL_E2E_TREE_H
#define DLLINSTALL_E2E_TREE_H

#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace e2e {

namespace fs = std::filesystem;

// Relative path ("LIB/a.dll") to what is there: kFolder, "-> target" for a symbolic link, the
// name of the fixture DLL whose bytes a file has ("v2.0.0.0.dll"), "text:<bytes>" for any
// other file up to kLongestShownText bytes, and "bytes:<size>:<hash>" for a longer one, and
// kFifo, kSocket or kDevice for what is no file to read. A file without any write permission bit
// gets the suffix kReadOnly; one with a special, execute or group or others' write bit, or
// without a read bit for all, also " (mode 0NNNN)".
using Tree = std::map<std::string, std::string>;

inline const std::string kFolder = "<folder>";
inline const std::string kReadOnly = " (read-only)";
inline const std::string kFifo = "<fifo>";
inline const std::string kSocket = "<socket>";
inline const std::string kDevice = "<device>";
inline constexpr size_t kLongestShownText = 400;

// The label ReadTree gives a file with these bytes that is no fixture.
std::string ContentLabel(const std::string& bytes);

// Which entries to leave out, by their relative path.
using TreeFilter = std::function<bool(const std::string& relativePath)>;

// The tree below root (root itself excluded); empty when root does not exist. Links are not
// followed.
Tree ReadTree(const fs::path& root, const TreeFilter& leaveOut = nullptr);

// The tree, one entry a line, for failure messages.
std::string Describe(const Tree& tree);

// The file name of the fixture DLL with exactly these bytes; empty when none has them.
std::string FixtureNameOf(const std::string& bytes);

// The bytes of a fixture DLL; fails the calling test (throws) when it was not built.
const std::string& FixtureBytes(const std::string& name);

// True when the fixture DLLs have been built.
bool FixturesBuilt();

} // namespace e2e

#endif
