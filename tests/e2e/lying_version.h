// Version resources that lie about their sizes, derived from a fixture DLL one field at a time.
#ifndef DLLINSTALL_E2E_LYING_VERSION_H
#define DLLINSTALL_E2E_LYING_VERSION_H

#include <string>
#include <utility>
#include <vector>

namespace e2e {

// The names of the variants, in the order LyingVersions gives them.
std::vector<std::string> LyingVersionNames();

// name -> bytes of every variant of the DLL; empty when its layout is not the one expected.
std::vector<std::pair<std::string, std::string>> LyingVersions(const std::string& dll);

} // namespace e2e

#endif
