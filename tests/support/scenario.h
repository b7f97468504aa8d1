// A scenario: what a run of the tool starts from and everything it must leave behind.
#ifndef DLLINSTALL_TESTS_SCENARIO_H
#define DLLINSTALL_TESTS_SCENARIO_H

#include "tree.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// Where a scenario's run takes place. The outside folder lies beside the program folder,
// for links that point out of it.
struct Layout {
    fs::path programFolder;
    fs::path systemFolder;
    fs::path outsideFolder;
    fs::path wow64Folder; // where a 64-bit prefix keeps the DLLs of 32-bit programs
};

// In expected texts, the program folder's Windows path with its trailing "\".
inline const std::string kProgramFolderMark = "<pf>";
// In expected texts, the system folder's Windows path.
inline const std::string kSystemFolderMark = "<sys>";
// In environment entries and link targets, the program folder's and the outside folder's host
// paths with their trailing "/".
inline const std::string kProgramFolderHostMark = "<pf-host>";
inline const std::string kOutsideFolderHostMark = "<out-host>";

// As a scenario's log: the console's messages, each ending in CR LF, as the tool writes them.
constexpr const char* kLogOfConsole = "<the console's messages>";

struct Scenario {
    std::string name; // a valid test name
    std::function<void(const Layout&)> setup = {};
    int status = 0;
    std::vector<std::string> console = {}; // the messages, in order, each without its newline
    std::optional<std::string> log = kLogOfConsole; // the log file's bytes; nullopt: none
    Tree systemFolder = {};                         // the system folder's entries beyond Wine's own
    Tree programFolder = {};                        // less the executable and a log file
    Tree outsideFolder = {};
    std::string linuxOnly = {};             // why the Windows build does not run it; empty: it does
    bool withSystemFolder = true;           // false: the prefix has no system32
    std::string programFolderName = "prog"; // where the program folder lies in the scenario's own
    size_t programFolderLength = 0; // when set: programFolderName is padded to a Windows path
                                    // of this many characters, its trailing "\" included
    int runs = 1;                   // the expectations are of the last run
    bool needsUtf8 = false; // names beyond ASCII: Wine must run with UTF-8 as its ANSI code page
    bool withWow64 = false; // the prefix has syswow64, whose entries are then checked too
    Tree wow64Folder = {};
    std::string outsideFolderName = "outside"; // beside the program folder in the scenario's own
    std::chrono::seconds deadline{60};         // a run still going then has hung and is killed
    std::vector<std::string> environment = {}; // NAME=value entries for its runs, marks filled in
    bool interposed = false; // the fault-injection library is preloaded (Linux build only)
    bool asRootOnly = false; // the setup gives files to another user, which only root can do
    // Fills in, when the scenario runs, expectations that depend on the fixtures' bytes.
    std::function<void(Scenario&)> expectAtRun = {};
};

// A setup that puts these entries, stated as a Tree states them: a fixture DLL's name,
// "text:<bytes>", kFolder, or "-> <target>" for a link whose target may hold the host marks.
// "LIB/a.dll" lies in the program folder, "<sys>/a.dll" in the system folder and "<out>/a.dll"
// in the outside folder.
std::function<void(const Layout&)> Given(const Tree& entries);

// Setup steps; each makes the parent folders it needs.
void PutFixture(const fs::path& file, const std::string& fixture);
void PutText(const fs::path& file, const std::string& text);
void PutFolder(const fs::path& folder);
void PutLink(const fs::path& link, const fs::path& target);
void MakeReadOnly(const fs::path& file);
void SetMode(const fs::path& file, fs::perms mode);
void PutFifo(const fs::path& file);
void PutSocket(const fs::path& file);
// Gives the file or folder to the user nobody (65534); only root can.
void GiveToAnotherUser(const fs::path& path);

} // namespace e2e

#endif
