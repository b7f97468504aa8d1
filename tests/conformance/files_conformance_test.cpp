// The file calls of the Win32 API as the tool uses them: results and last errors. The same
// cases run on the POSIX layer and, built with mingw-w64, under Wine.
#include "conformance.h"

#include <shlwapi.h>

namespace {

using namespace testing_support;

// Looks one path up without wildcards; false when nothing answers, with the last error set.
bool FindOne(const std::string& dosPath, WIN32_FIND_DATAA& data) {
    SetLastError(0xdeadbeef);
    HANDLE find = FindFirstFileA(dosPath.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

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

TEST_F(FilesTest, RemoveDirectoryRefusesContentAndFiles) {
    WriteBytes(dir / "full" / "a", "a");
    WriteBytes(dir / "file", "f");
    EXPECT_FAILS_WITH(RemoveDirectoryA(Dos("full").c_str()), ERROR_DIR_NOT_EMPTY);
    EXPECT_FAILS_WITH(RemoveDirectoryA(Dos("file").c_str()), ERROR_DIRECTORY);
    EXPECT_FAILS_WITH(RemoveDirectoryA(Dos("gone").c_str()), ERROR_FILE_NOT_FOUND);
    fs::create_directory(dir / "Empty");
    EXPECT_TRUE(RemoveDirectoryA(Dos("empty").c_str()));
}

TEST_F(FilesTest, RemoveDirectoryRefusesAReadOnlyFolder) {
    fs::create_directory(dir / "ro");
    MakeReadOnly(dir / "ro");
    EXPECT_FAILS_WITH(RemoveDirectoryA(Dos("ro").c_str()), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(fs::is_directory(dir / "ro"));
}

TEST_F(FilesTest, RemovingAFolderLinkRemovesOnlyTheLink) {
    WriteBytes(root / "outside" / "keep.dll", "keep");
    fs::create_directory_symlink(root / "outside", dir / "link");
    EXPECT_TRUE(RemoveDirectoryA(Dos("link").c_str()));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "link")));
    EXPECT_EQ(ReadBytes(root / "outside" / "keep.dll"), "keep");
}

// An entry opened itself, for its attributes and its removal, never what a link at its name
// points to.
HANDLE OpenItself(const std::string& dosPath) {
    return CreateFileA(dosPath.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Opens the entry, checks what it is and asks for its removal; the removal's last error, or
// ERROR_SUCCESS.
DWORD RemoveThroughHandle(const std::string& dosPath, DWORD expectedKind) {
    const HANDLE entry = OpenItself(dosPath);
    if (entry == INVALID_HANDLE_VALUE)
        return GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    EXPECT_TRUE(GetFileInformationByHandle(entry, &info));
    EXPECT_EQ(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, expectedKind) << dosPath;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    SetLastError(0xdeadbeef);
    const BOOL removed =
        SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition);
    const DWORD error = removed ? ERROR_SUCCESS : GetLastError();
    CloseHandle(entry);
    return error;
}

TEST_F(FilesTest, AnEntryOpenedItselfIsRemovedThroughItsHandle) {
    WriteBytes(dir / "File.dll", "x");
    fs::create_directory(dir / "empty");
    WriteBytes(dir / "full" / "a", "a");
    EXPECT_EQ(RemoveThroughHandle(Dos("file.dll"), 0), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(RemoveThroughHandle(Dos("empty"), FILE_ATTRIBUTE_DIRECTORY),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(RemoveThroughHandle(Dos("full"), FILE_ATTRIBUTE_DIRECTORY),
              static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_EQ(RemoveThroughHandle(Dos("none.dll"), 0), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(NamesIn(dir), std::set<std::string>{"full"});
}

TEST_F(FilesTest, AReadOnlyFileOpenedItselfStays) {
    WriteBytes(dir / "ro.dll", "keep");
    MakeReadOnly(dir / "ro.dll");
    EXPECT_EQ(RemoveThroughHandle(Dos("ro.dll"), 0), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(dir / "ro.dll"), "keep");
}

TEST_F(FilesTest, ALinkOpenedItselfGoesWithoutItsTarget) {
    WriteBytes(root / "outside" / "keep.dll", "keep");
    fs::create_directory_symlink(root / "outside", dir / "folder-link");
    fs::create_symlink(root / "outside" / "keep.dll", dir / "file-link.dll");
    EXPECT_EQ(RemoveThroughHandle(Dos("folder-link"), FILE_ATTRIBUTE_DIRECTORY),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(RemoveThroughHandle(Dos("file-link.dll"), 0), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(NamesIn(dir).empty());
    EXPECT_EQ(ReadBytes(root / "outside" / "keep.dll"), "keep");
}

TEST_F(FilesTest, CopyCreatesAndReplacesKeepingTheInstalledName) {
    WriteBytes(dir / "src.dll", "new bytes");
    WriteBytes(dir / "INSTALLED.DLL", "old");
    ASSERT_TRUE(CopyFileA(Dos("src.dll").c_str(), Dos("installed.dll").c_str(), FALSE));
    EXPECT_EQ(ReadBytes(dir / "INSTALLED.DLL"), "new bytes");
    EXPECT_EQ(NamesIn(dir).count("installed.dll"), 0u) << "the installed name must stay";
    ASSERT_TRUE(CopyFileA(Dos("src.dll").c_str(), Dos("Fresh.dll").c_str(), FALSE));
    EXPECT_EQ(ReadBytes(dir / "Fresh.dll"), "new bytes");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3)
        << "no temporary file may remain";
}

TEST_F(FilesTest, CopyRefusesAReadOnlyDestination) {
    WriteBytes(dir / "src.dll", "new");
    WriteBytes(dir / "ro.dll", "protected");
    MakeReadOnly(dir / "ro.dll");
    EXPECT_FAILS_WITH(CopyFileA(Dos("src.dll").c_str(), Dos("ro.dll").c_str(), FALSE),
                      ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadBytes(dir / "ro.dll"), "protected");
}

TEST_F(FilesTest, CopyRefusesWhatWindowsRefusesAndLeavesTheDestination) {
    WriteBytes(dir / "src.dll", "new");
    fs::create_directory(dir / "folder.dll");
    WriteBytes(dir / "exists.dll", "old");
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
    EXPECT_EQ(ReadBytes(dir / "exists.dll"), "old");
    EXPECT_EQ(ReadBytes(dir / "src.dll"), "new");
}

// The source is opened first as spelled and looked up only when that fails: every way of
// naming it must still answer as the lookup does.
TEST_F(FilesTest, CopyFindsItsSourceAsTheLookupDoes) {
    WriteBytes(dir / "src.dll", "content");
    ASSERT_TRUE(CopyFileA(Dos("SRC.DLL").c_str(), Dos("a.dll").c_str(), FALSE));
    EXPECT_EQ(ReadBytes(dir / "a.dll"), "content");
    EXPECT_FAILS_WITH(CopyFileA(Dos("none\\src.dll").c_str(), Dos("c.dll").c_str(), FALSE),
                      ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS_WITH(CopyFileA(Dos("src.dll\\x.dll").c_str(), Dos("c.dll").c_str(), FALSE),
                      ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(fs::exists(dir / "c.dll"));
}

TEST_F(FilesTest, CopyOfALinkCopiesItsTargetAndADanglingOneIsMissing) {
    WriteBytes(dir / "src.dll", "content");
    fs::create_symlink(dir / "src.dll", dir / "link.dll");
    fs::create_symlink(dir / "gone.dll", dir / "dangling.dll");
    ASSERT_TRUE(CopyFileA(Dos("link.dll").c_str(), Dos("b.dll").c_str(), FALSE));
    EXPECT_EQ(ReadBytes(dir / "b.dll"), "content");
    EXPECT_FALSE(fs::is_symlink(dir / "b.dll"));
    EXPECT_FAILS_WITH(CopyFileA(Dos("dangling.dll").c_str(), Dos("c.dll").c_str(), FALSE),
                      ERROR_FILE_NOT_FOUND);
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
    WIN32_FIND_DATAA data;
    ASSERT_TRUE(FindOne(Dos("sub\\X.DLL"), data));
    EXPECT_STREQ(data.cFileName, "x.dll");
    EXPECT_EQ(data.dwFileAttributes, DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(data.nFileSizeLow, 2u);
    // Windows folds "Sub\." into "Sub" before it looks.
    ASSERT_TRUE(FindOne(Dos("sub\\."), data));
    EXPECT_STREQ(data.cFileName, "Sub");
    EXPECT_EQ(data.dwFileAttributes, DWORD{FILE_ATTRIBUTE_DIRECTORY});
    EXPECT_FALSE(FindOne(Dos("sub\\none.dll"), data));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_FALSE(FindOne(Dos("none\\x.dll"), data));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
}

TEST_F(FilesTest, FindBelowAFileFails) {
    WriteBytes(dir / "x.dll", "xx");
    WIN32_FIND_DATAA data;
    EXPECT_FALSE(FindOne(Dos("x.dll\\y.dll"), data));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
}

TEST_F(FilesTest, FindWithoutWildcardsShowsLinksAsReparsePoints) {
    fs::create_directory(dir / "Sub");
    fs::create_symlink(dir / "Sub", dir / "folder-link");
    fs::create_symlink(dir / "gone.dll", dir / "dangling.dll");
    WIN32_FIND_DATAA data;
    ASSERT_TRUE(FindOne(Dos("folder-link"), data));
    EXPECT_EQ(data.dwFileAttributes,
              DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT});
    ASSERT_TRUE(FindOne(Dos("dangling.dll"), data));
    EXPECT_EQ(data.dwFileAttributes, DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT});
}

TEST_F(FilesTest, CreateFileRefusesToOverwriteAReadOnlyFile) {
    WriteBytes(dir / "ro.txt", "ro");
    MakeReadOnly(dir / "ro.txt");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(
        CreateFileA(Dos("ro.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(dir / "ro.txt"), "ro");
}

TEST_F(FilesTest, CreateFileHonoursDispositions) {
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

// The log's way into place: flushed by its handle, then renamed over the old log with
// write-through, which returns once the new name is on stable storage.
TEST_F(FilesTest, FlushedFileMovesOverAnotherWithWriteThrough) {
    WriteBytes(dir / "old.txt", "old log");
    HANDLE file = CreateFileA(Dos("new.tmp").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "new log", 7, &written, nullptr));
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(MoveFileExA(Dos("new.tmp").c_str(), Dos("old.txt").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadBytes(dir / "old.txt"), "new log");
    EXPECT_FALSE(fs::exists(dir / "new.tmp"));
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

} // namespace
