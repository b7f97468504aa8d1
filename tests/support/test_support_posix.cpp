// The parts of the test support that differ on Linux: temporary folders, the prefix variable
// and the drive that host paths lie on.
#include "test_support.h"

#include <cstdlib>
#include <stdexcept>

namespace testing_support {

TempFolder::TempFolder(const std::string& tag, const fs::path& base) {
    std::string pattern =
        ((base.empty() ? fs::temp_directory_path() : base) / (tag + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = fs::canonical(pattern);
}

ScopedPrefix::ScopedPrefix(const fs::path& prefix) {
    const char* old = std::getenv("WINEPREFIX");
    hadValue_ = old != nullptr;
    saved_ = old ? old : "";
    setenv("WINEPREFIX", prefix.c_str(), 1);
}

ScopedPrefix::~ScopedPrefix() {
    if (hadValue_)
        setenv("WINEPREFIX", saved_.c_str(), 1);
    else
        unsetenv("WINEPREFIX");
}

std::string DosPath(const fs::path& hostPath) {
    std::string path = "Z:" + hostPath.string();
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

bool UnderWine() {
    return false;
}

} // namespace testing_support
