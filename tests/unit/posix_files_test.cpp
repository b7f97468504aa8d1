// The POSIX layer's file calls where they go beyond the Win32 API: the host's permission bits
// and the layer's own module count. The cases of the Win32 API itself are in tests/conformance.
#include "conformance.h"
#include "modules.h"

#include <sys/stat.h>

namespace {

using namespace testing_support;

TEST_F(FilesTest, CopyCarriesPermissionsAndModificationTime) {
    WriteBytes(dir / "src.dll", "x");
    chmod((dir / "src.dll").c_str(), 0750);
    const auto when = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(dir / "src.dll", when);
    ASSERT_TRUE(CopyFileA(Dos("src.dll").c_str(), Dos("dst.dll").c_str(), FALSE));
    struct stat st {};
    ASSERT_EQ(stat((dir / "dst.dll").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    EXPECT_EQ(fs::last_write_time(dir / "dst.dll"), when);
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

TEST(Modules, OnlyTheShellFolderModuleLoadsAndItIsCounted) {
    EXPECT_EQ(posix::ShellFolderModuleReferences(), 0);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA("version.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    HMODULE module = LoadLibraryExA("shfolder.DLL", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, "SHGetFolderPathA"), nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(module, "SHGetFolderPathW"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(posix::ShellFolderModuleReferences(), 0);
    EXPECT_FALSE(FreeLibrary(module));
}

} // namespace
