#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace testing_support {

TempFolder::TempFolder(const std::string& tag) {
    std::string pattern = (fs::temp_directory_path() / (tag + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = fs::canonical(pattern);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    MakeWritable(path_);
    fs::remove_all(path_, ignored);
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

fs::path MakePrefix(const fs::path& prefix, bool withSystemFolder) {
    fs::create_directories(prefix / "drive_c" / "windows");
    if (withSystemFolder)
        fs::create_directories(prefix / "drive_c" / "windows" / "system32");
    return prefix;
}

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void MakeWritable(const fs::path& folder) {
    std::error_code ec;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink())
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
}

fs::path Fixture(const std::string& name) {
    const fs::path file = fs::path(DLLINSTALL_FIXTURE_DIR) / name;
    return fs::exists(file) ? file : fs::path();
}

std::string DosPath(const fs::path& hostPath) {
    std::string path = "Z:" + hostPath.string();
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

} // namespace testing_support
