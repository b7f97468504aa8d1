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

// The copy takes the modification time and, of the mode, only the read-only attribute and who
// may read it: a setuid, executable or world-writable source never makes such a system file, and
// a private one never becomes readable by others. The copy's group is the runner's, so a source's
// group may read it only where the group is the same.
TEST_F(FilesTest, CopyCarriesTheModificationTimeTheReadOnlyAttributeAndNoWiderReading) {
    constexpr gid_t kRunners = static_cast<gid_t>(-1), kOthers = 65534;
    const struct {
        mode_t source;
        gid_t group;
        mode_t copy;
    } kModes[] = {{0644, kRunners, 0644},  {0750, kRunners, 0640},  {04755, kRunners, 0644},
                  {02755, kRunners, 0644}, {01644, kRunners, 0644}, {0777, kRunners, 0644},
                  {0666, kRunners, 0644},  {0444, kRunners, 0444},  {0555, kRunners, 0444},
                  {06555, kRunners, 0444}, {0600, kRunners, 0600},  {0400, kRunners, 0400},
                  {0640, kOthers, 0600},   {0604, kOthers, 0604},   {0440, kOthers, 0400}};
    const auto when = fs::file_time_type::clock::now() - std::chrono::hours(48);
    for (const auto& [source, group, copy] : kModes) {
        const std::string name = std::to_string(source) + "-" + std::to_string(group);
        WriteBytes(dir / (name + ".src"), "x");
        chmod((dir / (name + ".src")).c_str(), source);
        if (group != kRunners && chown((dir / (name + ".src")).c_str(), -1, group) != 0)
            continue; // only root can give a file away
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

// Below a folder the layer has reached, a folder reached through a link is read, as Windows
// reads through one, but nothing is removed, created or renamed in it: another user may have
// put the link where a folder was, to turn a root run against a folder of their choice.
TEST_F(FilesTest, NothingChangesInAFolderReachedThroughALink) {
    WriteBytes(root / "outside" / "victim.dll", "v");
    WriteBytes(dir / "src.dll", "s");
    fs::create_directory_symlink(root / "outside", dir / "link");
    ASSERT_NE(GetFileAttributesA(Dos("link").c_str()), INVALID_FILE_ATTRIBUTES); // reaches dir
    EXPECT_NE(GetFileAttributesA(Dos("link\\victim.dll").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FAILS_WITH(DeleteFileA(Dos("link\\victim.dll").c_str()), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(CopyFileA(Dos("src.dll").c_str(), Dos("link\\victim.dll").c_str(), FALSE),
                      ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(MoveFileExA(Dos("src.dll").c_str(), Dos("link\\new.dll").c_str(), 0),
                      ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA(Dos("link\\new.dll").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(NamesIn(root / "outside"), std::set<std::string>{"victim.dll"});
    EXPECT_EQ(ReadBytes(root / "outside" / "victim.dll"), "v");
}

// To find a DLL's system folder the layer reads the DLL in hand, and keeps it open for the copy
// that follows; the copy must still take the file as it is at its name when it is made: the same
// file, one renamed over it since, or the same file grown since.
TEST_F(FilesTest, ACopyTakesItsSourceAsItIsWhenTheCopyIsMade) {
    const fs::path system32 = SystemFolderOf(root / "prefix");
    const struct {
        const char* name;
        void (*change)(const fs::path& dll);
    } kChanges[] = {
        {"kept.dll", [](const fs::path&) {}},
        {"replaced.dll",
         [](const fs::path& dll) {
             WriteBytes(dll.parent_path() / "new.tmp", Filler(5000, 2));
             fs::rename(dll.parent_path() / "new.tmp", dll);
         }},
        {"grown.dll",
         [](const fs::path& dll) { WriteBytes(dll, ReadBytes(dll) + Filler(70000, 3)); }},
    };
    for (const auto& [name, change] : kChanges) {
        WriteBytes(dir / name, Filler(100000, 1));
        WIN32_FIND_DATAA found{};
        const HANDLE find = FindFirstFileA(Dos(name).c_str(), &found); // now the DLL in hand
        ASSERT_NE(find, INVALID_HANDLE_VALUE) << name;
        FindClose(find);
        const std::string installed = std::string("C:\\windows\\system32\\") + name;
        EXPECT_EQ(GetFileAttributesA(installed.c_str()), INVALID_FILE_ATTRIBUTES) << name;
        change(dir / name);
        ASSERT_TRUE(CopyFileA(Dos(name).c_str(), installed.c_str(), FALSE)) << name;
        EXPECT_TRUE(ReadBytes(system32 / name) == ReadBytes(dir / name)) << name;
    }
}

} // namespace
