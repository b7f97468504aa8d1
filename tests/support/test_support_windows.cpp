// The parts of the test support that differ on Windows, where the conformance cases run
// against the system's own calls: paths are Windows paths already, and no prefix is chosen.
#include "test_support.h"

#include <stdexcept>
#include <windows.h>

namespace testing_support {

TempFolder::TempFolder(const std::string& tag, const fs::path& chosenBase) {
    const fs::path base = chosenBase.empty() ? fs::temp_directory_path() : chosenBase;
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        const fs::path candidate =
            base / (tag + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(GetTickCount64() % 100000) + "-" + std::to_string(attempt));
        if (fs::create_directory(candidate)) {
            path_ = fs::canonical(candidate);
            return;
        }
    }
    throw std::runtime_error("no temporary folder could be made");
}

// A running Wine prefix is chosen when Wine starts; the variable is left alone.
ScopedPrefix::ScopedPrefix(const fs::path&) : hadValue_(false) {}

ScopedPrefix::~ScopedPrefix() = default;

std::string DosPath(const fs::path& hostPath) {
    std::string path = hostPath.string();
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

} // namespace testing_support
