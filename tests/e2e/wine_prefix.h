// The suite's one Wine prefix, made by tests/wine/prefix.sh, with the names its system folder
// had when it was made.
#ifndef DLLINSTALL_E2E_WINE_PREFIX_H
#define DLLINSTALL_E2E_WINE_PREFIX_H

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace e2e {

// Why the Windows build cannot be run here; empty when it can.
std::string WhyWineRunsCannotBeMade();

// The names in the prefix's system folder right after it was made.
std::set<std::string> WineBaseline();

// The environment entries that give Wine UTF-8 as its ANSI code page, as the Linux build has;
// empty when prefix.sh could not build the locale for it.
std::vector<std::string> WineUtf8Environment();

// The file in which prefix.sh keeps those names, one a line.
std::filesystem::path WineBaselineFile();

} // namespace e2e

#endif
