// The POSIX layer's file calls: Windows results and last errors, enforced for root too.
#include "modules.h"
#include "test_support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <windows.h>

namespace {

using namespace testing_support;

class FilesTest : public ::testing::Test {
  protected:
    TempFolder rootFolder;
    fs::path root = rootFolder.path();
    ScopedPrefix scoped{MakePrefix(root / "prefix")};
    fs::path dir = root / "work";

    void SetUp() override { fs::create_directory(dir); }
    std::string Dos(const std::string& name) const { return DosPath(dir / name); }
    static void MakeReadOnly(const fs::path& p) { chmod(p.c_str(), 0444); }
};

#define EXPECT_FAILS_WITH(call, error)                                                             \
    do {                                                                                           \
        SetLastError(0xdeadbeef);                                                                  \
        EXPECT_FALSE(call);                                                                        \
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(error));                                      \
    } while (0)

TEST_F(FilesTest, DeleteRefusesReadOnlyFilesAndFoldersAndNamesWhatIsMissing) {
    WriteBytes(dir / "ro.dll", "keep");
    MakeReadOnly(dir / "ro.dll");
    fs::create_directory(dir / "sub");
    EXPECT_FAILS_WITH(DeleteFileA(Dos("ro.dll").c_str()), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(DeleteFileA(Dos("sub").c_str()), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(DeleteFileA(Dos("none.dll").c_str()), ERROR_FILE_NOT_FOUND);
    EXPECT_FAILS_WITH(DeleteFileA(Dos("none\\x.dll").c_str()), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ReadBytes(dir / "ro.dll"), "keep");
    WriteBytes(dir / "Plain.dll", "x");
    EXPECT_TRUE(DeleteFileA(Dos("PLAIN.DLL").c_str()));
    EXPECT_FALSE(fs::exists(dir / "Plain.dll"));
}

TEST_F(FilesTest, DeletingALinkLeavesItsTarget) {
    WriteBytes(root / "outside.dll", "outside");
    fs::create_symlink(root / "outside.dll", dir / "link.dll");
    EXPECT_TRUE(DeleteFileA(Dos("link.dll").c_str()));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "link.dll")));
    EXPECT_EQ(ReadBytes(root / "outside.dll"), "outside");
}

TEST_F(FilesTest, RemoveDirectoryRefusesContentFilesAndReadOnlyFolders) {
    WriteBytes(dir / "full" / "a", "a");
    WriteBytes(dir / "file", "f");
    fs::create_directory(dir / "ro");
    chmod((dir / "ro").c_str(), 0555);
    EXPECT_FAILS_WITH(RemoveDirectoryA(Dos("full").c_str()), ERROR_DIR_NOT_EMPTY);
    EXPECT_FAILS_WITH(RemoveDirectoryA(Dos("file").c_str()), ERROR_DIRECTORY);
    EXPECT_FAILS_WITH(RemoveDirectoryA(Dos("ro").c_str()), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(RemoveDirectoryA(Dos("gone").c_str()), ERROR_FILE_NOT_FOUND);
    fs::create_directory(dir / "Empty");
    EXPECT_TRUE(RemoveDirectoryA(Dos("empty").c_str()));
}

TEST_F(FilesTest, RemovingAFolderLinkRemovesOnlyTheLink) {
    WriteBytes(root / "outside" / "keep.dll", "keep");
    fs::create_directory_symlink(root / "outside", dir / "link");
    EXPECT_TRUE(RemoveDirectoryA(Dos("link").c_str()));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "link")));
    EXPECT_EQ(ReadBytes(root / "outside" / "keep.dll"), "keep");
}

TEST_F(FilesTest, CopyCreatesAndReplacesKeepingTheInstalledName) {
    WriteBytes(dir / "src.dll", "new bytes");
    WriteBytes(dir / "INSTALLED.DLL", "old");
    ASSERT_TRUE(CopyFileA(Dos("src.dll").c_str(), Dos("installed.dll").c_str(), FALSE));
    EXPECT_EQ(ReadBytes(dir / "INSTALLED.DLL"), "new bytes");
    EXPECT_FALSE(fs::exists(dir / "installed.dll"));
    ASSERT_TRUE(CopyFileA(Dos("src.dll").c_str(), Dos("Fresh.dll").c_str(), FALSE));
    EXPECT_EQ(ReadBytes(dir / "Fresh.dll"), "new bytes");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3)
        << "no temporary file may remain";
}

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

TEST_F(FilesTest, CopyRefusesWhatWindowsRefusesAndLeavesTheDestination) {
    WriteBytes(dir / "src.dll", "new");
    WriteBytes(dir / "ro.dll", "protected");
    MakeReadOnly(dir / "ro.dll");
    fs::create_directory(dir / "folder.dll");
    WriteBytes(dir / "exists.dll", "old");
    EXPECT_FAILS_WITH(CopyFileA(Dos("src.dll").c_str(), Dos("ro.dll").c_str(), FALSE),
                      ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(CopyFileA(Dos("src.dll").c_str(), Dos("folder.dll").c_str(), FALSE),
                      ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(CopyFileA(Dos("src.dll").c_str(), Dos("exists.dll").c_str(), TRUE),
                      ERROR_FILE_EXISTS);
    EXPECT_FAILS_WITH(CopyFileA(Dos("none.dll").c_str(), Dos("x.dll").c_str(), FALSE),
                      ERROR_FILE_NOT_FOUND);
    EXPECT_FAILS_WITH(CopyFileA(Dos("src.dll").c_str(), Dos("no\\x.dll").c_str(), FALSE),
                      ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS_WITH(CopyFileA(Dos("folder.dll").c_str(), Dos("x.dll").c_str(), FALSE),
                      ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(CopyFileA(Dos("src.dll").c_str(), Dos("SRC.DLL").c_str(), FALSE),
                      ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ReadBytes(dir / "ro.dll"), "protected");
    EXPECT_EQ(ReadBytes(dir / "exists.dll"), "old");
    EXPECT_EQ(ReadBytes(dir / "src.dll"), "new");
}

// The source is opened first as spelled and looked up only when that fails: every way of
// naming it must still answer as the lookup does.
TEST_F(FilesTest, CopyFindsItsSourceAsTheLookupDoes) {
    WriteBytes(dir / "src.dll", "content");
    fs::create_symlink(dir / "src.dll", dir / "link.dll");
    fs::create_symlink(dir / "gone.dll", dir / "dangling.dll");
    ASSERT_TRUE(CopyFileA(Dos("SRC.DLL").c_str(), Dos("a.dll").c_str(), FALSE));
    EXPECT_EQ(ReadBytes(dir / "a.dll"), "content");
    ASSERT_TRUE(CopyFileA(Dos("link.dll").c_str(), Dos("b.dll").c_str(), FALSE));
    EXPECT_EQ(ReadBytes(dir / "b.dll"), "content");
    EXPECT_FALSE(fs::is_symlink(dir / "b.dll"));
    EXPECT_FAILS_WITH(CopyFileA(Dos("dangling.dll").c_str(), Dos("c.dll").c_str(), FALSE),
                      ERROR_FILE_NOT_FOUND);
    EXPECT_FAILS_WITH(CopyFileA(Dos("none\\src.dll").c_str(), Dos("c.dll").c_str(), FALSE),
                      ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS_WITH(CopyFileA(Dos("src.dll\\x.dll").c_str(), Dos("c.dll").c_str(), FALSE),
                      ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(fs::exists(dir / "c.dll"));
}

TEST_F(FilesTest, CopyReplacesALinkInsteadOfWritingThroughIt) {
    WriteBytes(root / "shared.dll", "shared install");
    fs::create_symlink(root / "shared.dll", dir / "dst.dll");
    WriteBytes(dir / "src.dll", "new");
    ASSERT_TRUE(CopyFileA(Dos("src.dll").c_str(), Dos("dst.dll").c_str(), FALSE));
    EXPECT_FALSE(fs::is_symlink(dir / "dst.dll"));
    EXPECT_EQ(ReadBytes(dir / "dst.dll"), "new");
    EXPECT_EQ(ReadBytes(root / "shared.dll"), "shared install");
}

TEST_F(FilesTest, FindListsInNtfsOrderWithDotsFirstAndWindowsAttributes) {
    WriteBytes(dir / "b.dll", "b");
    WriteBytes(dir / "A.DLL", "a");
    WriteBytes(dir / "a.dll", "a"); // differs only in case: byte order settles it
    WriteBytes(dir / "c.txt", "c");
    fs::create_directory(dir / "sub.dll");
    fs::create_symlink(dir / "b.dll", dir / "link.dll");
    MakeReadOnly(dir / "b.dll");
    // Host names that Windows cannot hold are never listed.
    for (const char* name : {"..\\b.dll", "x:y.dll", "q?.dll", "dot.", "blank ", "cr\r\n.dll",
                             "\xff.dll", "...", ". "})
        WriteBytes(dir / name, "hidden");
    fs::create_directory(dir / "..\\..");
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((Dos("") + "*.*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::pair<std::string, DWORD>> seen{{data.cFileName, data.dwFileAttributes}};
    while (FindNextFileA(find, &data))
        seen.emplace_back(data.cFileName, data.dwFileAttributes);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    ASSERT_EQ(seen.size(), 8u);
    const char* order[] = {".", "..", "A.DLL", "a.dll", "b.dll", "c.txt", "link.dll", "sub.dll"};
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i].first, order[i]);
    EXPECT_TRUE(seen[4].second & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(seen[6].second & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_FALSE(seen[6].second & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(seen[7].second & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(FindFirstFileA(Dos("x:y.dll").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(FindFirstFileA((Dos("") + "*:*").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(FilesTest, FindReportsNoMatchAndMissingFolderDifferently) {
    WIN32_FIND_DATAA data;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindFirstFileA((Dos("") + "*.dll").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindFirstFileA(Dos("missing\\*.dll").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FAILS_WITH(FindNextFileA(reinterpret_cast<HANDLE>(&data), &data), ERROR_INVALID_HANDLE);
    EXPECT_FAILS_WITH(FindClose(INVALID_HANDLE_VALUE), ERROR_INVALID_HANDLE);
}

TEST_F(FilesTest, FindWithoutWildcardsGivesTheNameAsItIsOnDisk) {
    WriteBytes(dir / "Tarvik.dll", "t");
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(Dos("TARVIK.DLL").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "Tarvik.dll");
    EXPECT_EQ(data.nFileSizeLow, 1u);
    EXPECT_FAILS_WITH(FindNextFileA(find, &data), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(find));
}

TEST_F(FilesTest, FindWithoutWildcardsAnswersAsTheListingWould) {
    fs::create_directory(dir / "Sub");
    WriteBytes(dir / "Sub" / "x.dll", "xx");
    MakeReadOnly(dir / "Sub" / "x.dll");
    fs::create_symlink(dir / "Sub", dir / "folder-link");
    fs::create_symlink(dir / "gone.dll", dir / "dangling.dll");
    const auto findOne = [&](const std::string& dosPath, WIN32_FIND_DATAA& data) {
        SetLastError(0xdeadbeef);
        HANDLE find = FindFirstFileA(dosPath.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return false;
        FindClose(find);
        return true;
    };
    WIN32_FIND_DATAA data;
    ASSERT_TRUE(findOne(Dos("sub\\X.DLL"), data));
    EXPECT_STREQ(data.cFileName, "x.dll");
    EXPECT_EQ(data.dwFileAttributes, DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(data.nFileSizeLow, 2u);
    // Windows folds "Sub\." into "Sub" before it looks.
    ASSERT_TRUE(findOne(Dos("sub\\."), data));
    EXPECT_STREQ(data.cFileName, "Sub");
    EXPECT_EQ(data.dwFileAttributes, DWORD{FILE_ATTRIBUTE_DIRECTORY});
    ASSERT_TRUE(findOne(Dos("folder-link"), data));
    EXPECT_EQ(data.dwFileAttributes,
              DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT});
    ASSERT_TRUE(findOne(Dos("dangling.dll"), data));
    EXPECT_EQ(data.dwFileAttributes, DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT});
    EXPECT_FALSE(findOne(Dos("sub\\none.dll"), data));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_FALSE(findOne(Dos("none\\x.dll"), data));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
    EXPECT_FALSE(findOne(Dos("sub\\x.dll\\y.dll"), data));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
}

// The listing stats its entries in the folder it read, so an entry removed after the listing
// is skipped and the rest still come.
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

TEST_F(FilesTest, CreateFileHonoursDispositionsAndReadOnly) {
    WriteBytes(dir / "ro.txt", "ro");
    MakeReadOnly(dir / "ro.txt");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(
        CreateFileA(Dos("ro.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(
        CreateFileA(Dos("none.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    HANDLE file = CreateFileA(Dos("new.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "hello", 5, &written, nullptr));
    EXPECT_EQ(written, 5u);
    EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_BEGIN), 2u);
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(ReadBytes(dir / "new.txt"), "he");
    EXPECT_FAILS_WITH(CloseHandle(file), ERROR_INVALID_HANDLE);
}

TEST_F(FilesTest, AttributesAndDirectoryTest) {
    WriteBytes(dir / "f.dll", "f");
    EXPECT_EQ(PathIsDirectoryA(Dos("").c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(PathIsDirectoryA(Dos("f.dll").c_str()));
    EXPECT_FALSE(PathIsDirectoryA(Dos("none").c_str()));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA(Dos("none").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// The built-in modules load by their names, with or without the extension, in any case, and
// only with their own exports; every load is counted until it is freed.
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
