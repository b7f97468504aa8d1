#include "bench_layout.h"

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <system_error>
#include <unistd.h>

namespace bench {

namespace {

// A fresh Wine prefix already holds about 600 DLLs of its own in system32.
constexpr int kPrefixOwnDlls = 600;

void MakeWinePrefix(const InstallFolders& folders, const DllWriter& writer) {
    fs::create_directories(folders.systemFolder);
    fs::create_directories(folders.prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", folders.prefix / "dosdevices" / "c:");
    fs::create_directory_symlink("/", folders.prefix / "dosdevices" / "z:");
    for (int i = 0; i < kPrefixOwnDlls; ++i) {
        const std::string name = "wine" + std::to_string(i) + ".dll";
        writer.Write(folders.systemFolder / name, "unversioned.dll", 0);
    }
}

uint64_t SizeOf(const fs::path& file) {
    std::error_code error;
    const uint64_t size = fs::file_size(file, error);
    return error ? UINT64_MAX : size;
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

InstallFolders BuildInstall(const fs::path& root, const InstallPlan& plan, const DllWriter& writer,
                            const fs::path& tool) {
    InstallFolders folders;
    folders.prefix = root / "prefix";
    folders.systemFolder = folders.prefix / "drive_c" / "windows" / "system32";
    folders.programFolder = folders.prefix / "drive_c" / "Program Files" / "Tarvik Suite";
    MakeWinePrefix(folders, writer);
    fs::create_directories(folders.programFolder / "LIB");
    fs::copy_file(tool, folders.programFolder / "dllinstall");
    writer.Write(folders.programFolder / "Tarvik.dll", "v2.0.0.0.dll", plan.primarySize);
    writer.Write(folders.systemFolder / "Tarvik.dll", "v1.0.0.0.dll", plan.primarySize / 2);
    for (const Library& library : plan.libraries) {
        writer.Write(folders.programFolder / "LIB" / library.name, library.offeredFixture,
                     library.offeredSize);
        if (library.installed != Installed::Absent)
            writer.Write(folders.systemFolder / library.name, library.installedFixture,
                         library.installedSize);
    }
    return folders;
}

std::string CheckInstalled(const InstallFolders& folders, const InstallPlan& plan,
                           bool readerWorks) {
    if (fs::exists(folders.programFolder / "LIB"))
        return "LIB is still there";
    if (fs::exists(folders.programFolder / "Tarvik.dll") ||
        SizeOf(folders.systemFolder / "Tarvik.dll") != plan.primarySize)
        return "Tarvik.dll was not moved";
    for (const Library& library : plan.libraries) {
        const uint64_t expected =
            IsCopied(library, readerWorks) ? library.offeredSize : library.installedSize;
        if (SizeOf(folders.systemFolder / library.name) != expected)
            return library.name + " in the system folder is not the expected copy";
    }
    return std::string();
}

// Counts the copies the log file reports; -1 when there is no log file.
int CountLoggedCopies(const InstallFolders& folders) {
    const fs::path log = folders.programFolder / "InstallLog_DLL.txt";
    if (!fs::exists(log))
        return -1;
    const std::string text = ReadText(log);
    int count = 0;
    for (size_t at = text.find("Copy from '"); at != std::string::npos;
         at = text.find("Copy from '", at + 1))
        ++count;
    return count;
}

void BuildTree(const fs::path& root, const TreeShape& shape) {
    static constexpr char kContent[64] = "a small file of the tree, one block on disk";
    for (int top = 0; top < shape.topFolders; ++top) {
        for (int sub = 0; sub < shape.subFolders; ++sub) {
            const fs::path folder =
                root / ("top" + std::to_string(top)) / ("sub" + std::to_string(sub));
            fs::create_directories(folder);
            for (int i = 0; i < shape.filesPerFolder; ++i) {
                const fs::path file = folder / ("file" + std::to_string(i) + ".dat");
                const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                if (fd < 0 || write(fd, kContent, sizeof kContent) != sizeof kContent ||
                    close(fd) != 0)
                    throw std::runtime_error("cannot write " + file.string());
            }
        }
    }
}

void FlushFileSystem(const fs::path& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || syncfs(fd) != 0)
        throw std::runtime_error("cannot flush " + folder.string());
    close(fd);
}

std::string FileSystemName(const fs::path& folder) {
    struct statfs info {};
    if (statfs(folder.c_str(), &info) != 0)
        return "unknown";
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0x01021994:
        return "tmpfs";
    case 0xEF53:
        return "ext4";
    case 0x58465342:
        return "xfs";
    case 0x9123683E:
        return "btrfs";
    case 0xF2F52010:
        return "f2fs";
    case 0x794C7630:
        return "overlayfs";
    default:
        return "other";
    }
}

void RemoveAll(const fs::path& path) {
    std::error_code error;
    fs::remove_all(path, error);
    if (error && fs::exists(path))
        throw std::runtime_error("cannot remove " + path.string() + ": " + error.message());
}

} // namespace bench
