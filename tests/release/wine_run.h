// Runs a Windows program under Wine in the suite's prefix, through the suite's process helper,
// and the folders of that prefix the release tests look into.
#ifndef DLLINSTALL_RELEASE_WINE_RUN_H
#define DLLINSTALL_RELEASE_WINE_RUN_H

#include "child_process.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace release {

struct WineRun {
    WineRun(std::filesystem::path program, std::vector<std::string> arguments,
            std::filesystem::path folder)
        : program(std::move(program)), arguments(std::move(arguments)), folder(std::move(folder)) {}

    std::filesystem::path program;
    std::vector<std::string> arguments;
    std::filesystem::path folder;    // the working folder
    std::string debug = "-all";      // WINEDEBUG
    std::string overrides;           // WINEDLLOVERRIDES; empty for none
    std::filesystem::path errorFile; // where standard error goes; empty to keep it in
                                     // the result
    bool console = false; // true: run in a terminal of its own, so that Wine gives the program
                          // a console; standard output is then what the terminal showed
};

using WineResult = testing_support::ProcessResult;

// Why Wine runs cannot be made here; empty when they can.
std::string WhyWineCannotRun();

// Runs the program with the prefix, the given WINEDEBUG and overrides and LC_ALL=C.UTF-8:
// Unix names in UTF-8, and Wine's default ANSI code page, 1252, for the Windows side.
WineResult RunUnderWine(const WineRun& run);

// Files the tests put into the prefix's system folders, removed again at the end of the
// scope; only names unique to these tests go there.
class SystemFolderFiles {
  public:
    SystemFolderFiles() = default;
    ~SystemFolderFiles();
    SystemFolderFiles(const SystemFolderFiles&) = delete;
    SystemFolderFiles& operator=(const SystemFolderFiles&) = delete;

    // Takes the name into the scope's care, removes what is there now and returns its path.
    std::filesystem::path Claim(const std::filesystem::path& folder, const std::string& name);

  private:
    std::vector<std::filesystem::path> claimed_;
};

} // namespace release

#endif
