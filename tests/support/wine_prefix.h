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

// Why the 32-bit Windows build cannot be run here; empty when it can.
std::string WhyWine32RunsCannotBeMade();

// The names in one of the prefix's system folders ("system32", "syswow64") right after it was
// made.
std::set<std::string> WineBaseline(const std::string& systemFolderName);

// The environment entries that give Wine UTF-8 as its ANSI code page, as the Linux build has;
// empty when prefix.sh could not build the locale for it.
std::vector<std::string> WineUtf8Environment();

// The file in which prefix.sh keeps those names, one a line.
std::filesystem::path WineBaselineFile(const std::string& systemFolderName);

} // namespace e2e

#endif
