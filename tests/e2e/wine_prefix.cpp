#include "wine_prefix.h"

#include <fstream>

namespace e2e {

namespace fs = std::filesystem;

fs::path WineBaselineFile() {
    return fs::path(DLLINSTALL_WINE_PREFIX) / "system32.baseline";
}

std::string WhyWineRunsCannotBeMade() {
    const std::string wine = DLLINSTALL_WINE;
    const std::string exe = DLLINSTALL_WINDOWS_EXE;
    if (wine.empty() || !fs::exists(wine))
        return "Wine is not installed: the Windows build's runs are skipped";
    if (exe.empty() || !fs::exists(exe))
        return "dllinstall.exe was not built (no mingw-w64): the Windows build's runs are skipped";
    if (!fs::exists(WineBaselineFile()))
        return "the Wine prefix " + std::string(DLLINSTALL_WINE_PREFIX) +
               " is not set up: run the tests through ctest, or tests/wine/prefix.sh start";
    return {};
}

std::vector<std::string> WineUtf8Environment() {
    const fs::path locales = fs::path(DLLINSTALL_WINE_PREFIX) / "locale";
    if (!fs::is_directory(locales / "ka_GE.UTF-8"))
        return {};
    return {"LOCPATH=" + locales.string(), "LC_ALL=ka_GE.UTF-8"};
}

std::set<std::string> WineBaseline() {
    std::set<std::string> names;
    std::ifstream in(WineBaselineFile());
    for (std::string name; std::getline(in, name);)
        if (!name.empty())
            names.insert(name);
    return names;
}

} // namespace e2e
