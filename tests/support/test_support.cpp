#include "test_support.h"

#include <fstream>
#include <sstream>
#include <system_error>

namespace testing_support {

TempFolder::~TempFolder() {
    std::error_code ignored;
    MakeWritable(path_);
    fs::remove_all(path_, ignored);
}

fs::path MakePrefix(const fs::path& prefix, PrefixShape shape) {
    fs::create_directories(prefix / "drive_c" / "windows");
    if (shape.systemFolder)
        fs::create_directories(SystemFolderOf(prefix));
    if (shape.driveLinks) {
        fs::create_directories(prefix / "dosdevices");
        fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
        fs::create_directory_symlink("/", prefix / "dosdevices" / "z:");
    }
    return prefix;
}

fs::path SystemFolderOf(const fs::path& prefix, const std::string& name) {
    return prefix / "drive_c" / "windows" / name;
}

std::string Filler(size_t size, unsigned salt) {
    std::string bytes(size, '\0');
    unsigned state = salt * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
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

void MakeReadOnly(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
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

} // namespace testing_support
