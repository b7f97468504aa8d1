// The POSIX layer's file calls where they go beyond the Win32 API: the host's permission bits
// and the layer's own module count. The cases of the Win32 API itself are in tests/conformance.
#include "conformance.h"
#include "process/modules.h"

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace testing_support;

// The copy takes the modification time and, of the mode, only the read-only attribute: a
// setuid, executable or world-writable source never makes such a system file.
TEST_F(FilesTest, CopyCarriesTheModificationTimeAndOnlyTheReadOnlyAttribute) {
    const struct {
        mode_t source;
        mode_t copy;
    } kModes[] = {{0644, 0644}, {0750, 0644}, {04755, 0644}, {02755, 0644}, {01644, 0644},
                  {0777, 0644}, {0666, 0644}, {0444, 0444},  {0555, 0444},  {06555, 0444}};
    const auto when = fs::file_time_type::clock::now() - std::chrono::hours(48);
    for (const auto& [source, copy] : kModes) {
        const std::string name = std::to_string(source);
        WriteBytes(dir / (name + ".src"), "x");
        chmod((dir / (name + ".src")).c_str(), source);
        fs::last_write_time(dir / (name + ".src"), when);
        ASSERT_TRUE(CopyFileA(Dos(name + ".src").c_str(), Dos(name + ".dll").c_str(), FALSE));
        struct stat st {};
        ASSERT_EQ(stat((dir / (name + ".dll")).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, copy) << "source mode " << std::oct << source;
        EXPECT_EQ(fs::last_write_time(dir / (name + ".dll")), when);
    }
}

// Only a regular file is copied: a FIFO (which would block the open), a socket or a device
// (which would be read without end) fails at once, whether named directly or through a link.
TEST_F(FilesTest, CopyRefusesAnythingButARegularFileAtOnce) {
    ASSERT_EQ(mkfifo((dir / "fifo.dll").c_str(), 0644), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, (dir / "sock.dll").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(sock);
    fs::create_symlink("/dev/zero", dir / "zero.dll");
    fs::create_symlink(dir / "fifo.dll", dir / "fifolink.dll");
    for (const char* name : {"fifo.dll", "sock.dll", "zero.dll", "fifolink.dll"}) {
        EXPECT_FAILS_WITH(CopyFileA(Dos(name).c_str(), Dos("copy.dll").c_str(), FALSE),
                          ERROR_ACCESS_DENIED);
        EXPECT_FALSE(fs::exists(dir / "copy.dll")) << name;
    }
}

// The listing stats its entries in the folder it read, so an entry removed after the listing
// is skipped and the rest still come: the layer's own promise, since Windows may still deliver
// a name it has already read.
TEST_F(FilesTest, FindSkipsEntriesRemovedAfterTheListing) {
    for (const char* name : {"a.dll", "b.dll", "c.dll"})
        WriteBytes(dir / name, name);
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(Dos("*.dll").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "a.dll");
    fs::remove(dir / "b.dll");
    ASSERT_TRUE(FindNextFileA(find, &data));
    EXPECT_STREQ(data.cFileName, "c.dll");
    EXPECT_FAILS_WITH(FindNextFileA(find, &data), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(find));
}

// Host names that Windows cannot hold are never listed, and a path or mask spelled with a
// character Windows refuses is no name at all.
TEST_F(FilesTest, FindNeverDeliversNamesWindowsCannotHold) {
    WriteBytes(dir / "good.dll", "listed");
    for (const char* name : {"..\\b.dll", "x:y.dll", "q?.dll", "dot.", "blank ", "cr\r\n.dll",
                             "\xff.dll", "...", ". "})
        WriteBytes(dir / name, "hidden");
    fs::create_directory(dir / "..\\..");
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((Dos("") + "*.*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::string> seen{data.cFileName};
    while (FindNextFileA(find, &data))
        seen.emplace_back(data.cFileName);
    EXPECT_TRUE(FindClose(find));
    EXPECT_EQ(seen, (std::vector<std::string>{".", "..", "good.dll"}));
    EXPECT_EQ(FindFirstFileA(Dos("x:y.dll").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(FindFirstFileA((Dos("") + "*:*").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST(Modules, OnlyTheBuiltInModulesLoadAndTheyAreCounted) {
    EXPECT_EQ(posix::LoadedModuleReferences(), 0);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA("user32.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    HMODULE module = LoadLibraryExA("shfolder.DLL", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, "SHGetFolderPathA"), nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(module, "SHGetFolderPathW"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    HMODULE version = LoadLibraryA("VERSION");
    ASSERT_NE(version, nullptr);
    EXPECT_NE(version, module);
    EXPECT_EQ(posix::LoadedModuleReferences(), 2);
    for (const char* name : {"GetFileVersionInfoSizeA", "GetFileVersionInfoA", "VerQueryValueA"})
        EXPECT_NE(GetProcAddress(version, name), nullptr) << name;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(version, "SHGetFolderPathA"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(version));
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(posix::LoadedModuleReferences(), 0);
    EXPECT_FALSE(FreeLibrary(module));
    EXPECT_FALSE(FreeLibrary(version));
}

} // namespace
