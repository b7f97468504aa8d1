// The tool's path services and the folder tree removal.
#include "fs/folders.h"
#include "modules.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <sys/stat.h>

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

class FsTest : public ::testing::Test {
  protected:
    TempFolder rootFolder;
    fs::path root = rootFolder.path();
    fs::path prefix = MakePrefix(root / "prefix");
    ScopedPrefix scoped{prefix};
    fs::path tree = root / "LIB";
    std::string Dos(const fs::path& p) const { return DosPath(p); }
};

TEST_F(FsTest, ShellFolderIsTheSystemFolderAndTheLibraryIsAlwaysFreed) {
    EXPECT_STREQ(GetShellFolderPath(CSIDL_SYSTEM), "C:\\windows\\system32");
    EXPECT_EQ(posix::LoadedModuleReferences(), 0);
    EXPECT_STREQ(GetShellFolderPath(0x7777), "");
    EXPECT_EQ(posix::LoadedModuleReferences(), 0);
    fs::remove(prefix / "drive_c" / "windows" / "system32");
    EXPECT_STREQ(GetShellFolderPath(CSIDL_SYSTEM), "");
    EXPECT_EQ(posix::LoadedModuleReferences(), 0);
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
    chmod((tree / "x" / "y" / "locked.dll").c_str(), 0444);
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
    chmod((tree / "b" / "full").c_str(), 0555); // a read-only folder stays, whatever it holds
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

TEST_F(FsTest, RemovalKeepsTheFilesItIsToldToKeepAndTheirFolder) {
    WriteBytes(tree / "handled.dll", "a");
    WriteBytes(tree / "arrived.dll", "b");
    WriteBytes(tree / "sub" / "arrived.dll", "c");
    const auto keep = [](const CString& name) { return name == "arrived.dll"; };
    EXPECT_EQ(RemoveFolderTreeExcept(Dos(tree).c_str(), keep),
              static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(fs::exists(tree / "arrived.dll"));
    EXPECT_FALSE(fs::exists(tree / "handled.dll"));
    EXPECT_FALSE(fs::exists(tree / "sub")) << "only files directly in the folder are kept";
}
