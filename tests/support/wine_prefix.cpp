#include "wine_prefix.h"

#include <fstream>

namespace e2e {

namespace fs = std::filesystem;

fs::path WineBaselineFile(const std::string& systemFolderName) {
    return fs::path(DLLINSTALL_WINE_PREFIX) / (systemFolderName + ".baseline");
}

std::string WhyWineRunsCannotBeMade() {
    const std::string wine = DLLINSTALL_WINE;
    const std::string exe = DLLINSTALL_WINDOWS_EXE;
    if (wine.empty() || !fs::exists(wine))
        return "Wine is not installed: the Windows build's runs are skipped";
    if (exe.empty() || !fs::exists(exe))
        return "dllinstall.exe was not built (no mingw-w64): the Windows build's runs are skipped";
    if (!fs::exists(WineBaselineFile("system32")))
        return "the Wine prefix " + std::string(DLLINSTALL_WINE_PREFIX) +
               " is not set up: run the tests through ctest, or tests/wine/prefix.sh start";
    return {};
}

std::string WhyWine32RunsCannotBeMade() {
    if (std::string why = WhyWineRunsCannotBeMade(); !why.empty())
        return why;
    const std::string exe = DLLINSTALL_WINDOWS32_EXE;
    if (exe.empty() || !fs::exists(exe))
        return "the 32-bit dllinstall.exe was not built (no i686 mingw-w64): its runs are skipped";
    // prefix.sh tried a 32-bit program of Wine's own and wrote down why it did not run.
    std::ifstream unavailable(fs::path(DLLINSTALL_WINE_PREFIX) / "x86.unavailable");
    std::string why;
    if (std::getline(unavailable, why))
        return why + ": the 32-bit build's runs are skipped";
    if (WineBaseline("syswow64").empty())
        return "the Wine prefix has no 32-bit system files: the 32-bit build's runs are skipped";
    return {};
}

std::vector<std::string> WineUtf8Environment() {
    const fs::path locales = fs::path(DLLINSTALL_WINE_PREFIX) / "locale";
    if (!fs::is_directory(locales / "ka_GE.UTF-8"))
        return {};
    return {"LOCPATH=" + locales.string(), "LC_ALL=ka_GE.UTF-8"};
}

std::set<std::string> WineBaseline(const std::string& systemFolderName) {
    std::set<std::string> names;
    std::ifstream in(WineBaselineFile(systemFolderName));
    for (std::string name; std::getline(in, name);)
        if (!name.empty())
            names.insert(name);
    return names;
}

} // namespace e2e
