// The tool's path services and the folder tree removal over the Win32 API. The same cases run
// on the POSIX layer and, built with mingw-w64, under Wine.
#include "conformance.h"
#include "fs/folders.h"

namespace {

using namespace testing_support;

TEST(FolderOfPath, KeepsTheTrailingBackslash) {
    EXPECT_STREQ(GetFolderOfPath("C:\\Program Files\\App\\dllinstall.exe"),
                 "C:\\Program Files\\App\\");
    EXPECT_STREQ(GetFolderOfPath("C:\\dir\\"), "C:\\dir\\");
    EXPECT_STREQ(GetFolderOfPath("dllinstall.exe"), "");
    EXPECT_STREQ(GetFolderOfPath(""), "");
    EXPECT_STREQ(GetFolderOfPath("\\"), "\\");
    EXPECT_STREQ(GetFolderOfPath("Z:/tmp/x"), ""); // only "\" separates here
}

TEST_F(FsTest, FolderAndExistenceTests) {
    WriteBytes(root / "file.dll", "x");
    fs::create_directory(root / "dir.dll");
    EXPECT_EQ(IsFolder(Dos(root / "dir.dll").c_str()), 1); // exactly 1, not the attribute bit
    EXPECT_EQ(IsFolder(Dos(root / "file.dll").c_str()), 0);
    EXPECT_EQ(IsFolder(Dos(root / "none").c_str()), 0);
    EXPECT_TRUE(FileExists(Dos(root / "dir.dll").c_str()));
    EXPECT_TRUE(FileExists(Dos(root / "FILE.DLL").c_str()));
    EXPECT_FALSE(FileExists(Dos(root / "none").c_str()));
    EXPECT_FALSE(FileExists(Dos(root / "none\\deeper").c_str()));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists((Dos(root) + "\\" + std::string(300, 'a')).c_str()));
}

TEST_F(FsTest, RemovesAWholeTreeAndAnEmptyFolder) {
    WriteBytes(tree / "a.dll", "a");
    WriteBytes(tree / "sub" / "deeper" / "b.dll", "b");
    fs::create_directory(tree / "empty");
    EXPECT_EQ(RemoveFolderTree(Dos(tree).c_str()), 0u);
    EXPECT_FALSE(fs::exists(tree));
    fs::create_directory(tree);
    EXPECT_EQ(RemoveFolderTree(Dos(tree).c_str()), 0u);
    EXPECT_FALSE(fs::exists(tree));
}

TEST_F(FsTest, RefusesRelativeEmptyAndFilePaths) {
    WriteBytes(tree / "a.dll", "a");
    EXPECT_EQ(RemoveFolderTree(""), 0u);
    EXPECT_EQ(RemoveFolderTree(Dos(tree / "a.dll").c_str()), 0u);
    EXPECT_EQ(RemoveFolderTree(Dos(root / "missing").c_str()), 0u);
    const fs::path saved = fs::current_path();
    fs::current_path(root);
    EXPECT_EQ(RemoveFolderTree("LIB"), 0u);
    fs::current_path(saved);
    EXPECT_EQ(ReadBytes(tree / "a.dll"), "a");
}

TEST_F(FsTest, ReadOnlyFileDeepInsideKeepsOnlyItsChainOfFolders) {
    WriteBytes(tree / "a.dll", "a");
    WriteBytes(tree / "x" / "y" / "locked.dll", "locked");
    WriteBytes(tree / "x" / "y" / "other.dll", "other");
    WriteBytes(tree / "x" / "z" / "c.dll", "c");
    WriteBytes(tree / "w" / "d.dll", "d");
    MakeReadOnly(tree / "x" / "y" / "locked.dll");
    EXPECT_EQ(RemoveFolderTree(Dos(tree).c_str()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(tree / "x" / "y" / "locked.dll"), "locked");
    EXPECT_FALSE(fs::exists(tree / "x" / "y" / "other.dll"));
    EXPECT_FALSE(fs::exists(tree / "x" / "z"));
    EXPECT_FALSE(fs::exists(tree / "w"));
    EXPECT_FALSE(fs::exists(tree / "a.dll"));
}

TEST_F(FsTest, AFailureDoesNotStopTheWalkThroughLaterFolders) {
    WriteBytes(tree / "a" / "x.dll", "x");
    WriteBytes(tree / "b" / "full" / "q.dll", "q");
    MakeReadOnly(tree / "b" / "full"); // a read-only folder stays, whatever it holds
    WriteBytes(tree / "c" / "z.dll", "z");
    EXPECT_EQ(RemoveFolderTree(Dos(tree).c_str()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(fs::exists(tree / "a"));
    EXPECT_FALSE(fs::exists(tree / "c"));
    EXPECT_TRUE(fs::is_directory(tree / "b" / "full"));
}

TEST_F(FsTest, LinksInsideTheTreeGoWithoutTheirTargets) {
    WriteBytes(root / "outside" / "keep.dll", "keep");
    WriteBytes(root / "single.dll", "single");
    WriteBytes(tree / "a.dll", "a");
    fs::create_directory_symlink(root / "outside", tree / "folderlink");
    fs::create_symlink(root / "single.dll", tree / "filelink.dll");
    EXPECT_EQ(RemoveFolderTree(Dos(tree).c_str()), 0u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
    EXPECT_EQ(ReadBytes(root / "outside" / "keep.dll"), "keep");
    EXPECT_EQ(ReadBytes(root / "single.dll"), "single");
}

TEST_F(FsTest, ATreeThatIsItselfALinkLosesOnlyTheLink) {
    WriteBytes(root / "real" / "keep.dll", "keep");
    fs::create_directory_symlink(root / "real", tree);
    EXPECT_EQ(RemoveFolderTree(Dos(tree).c_str()), 0u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
    EXPECT_EQ(ReadBytes(root / "real" / "keep.dll"), "keep");
}

} // namespace
