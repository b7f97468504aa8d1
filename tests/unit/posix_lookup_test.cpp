// Case-insensitive lookups stay true to the folder as it is now, whoever changed it since it
// was last read, in the folder that was reached; relative paths need a current folder on a drive.
#include "paths/dos_path.h"
#include "test_support.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

using namespace testing_support;

class LookupTest : public ::testing::Test, protected PrefixFolders {
  protected:
    // The on-disk name the path resolves to, or "" when it names nothing.
    std::string OnDisk(const std::string& dosPath) {
        posix::HostPath resolved;
        if (!posix::ResolvePath(dosPath.c_str(), resolved) || !resolved.exists)
            return std::string();
        return fs::path(resolved.path).filename().string();
    }
};

TEST_F(LookupTest, SeesNamesCreatedRemovedAndRenamedSinceTheFolderWasRead) {
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\new.dll"), ""); // the folder is read here
    WriteBytes(system32 / "NEW.DLL", "n");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\new.dll"), "NEW.DLL");
    fs::rename(system32 / "NEW.DLL", system32 / "Renamed.Dll");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\new.dll"), "");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\RENAMED.DLL"), "Renamed.Dll");
    fs::remove(system32 / "Renamed.Dll");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\renamed.dll"), "");
    WriteBytes(system32 / "ÜBER.DLL", "u");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\über.dll"), "ÜBER.DLL");
}

// A folder once reached is the folder meant from then on: one moved away and replaced by
// another at its path is still the one used, while one removed is read afresh.
TEST_F(LookupTest, AFolderReachedStaysTheOneUsedUntilItIsRemoved) {
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\old.dll"), "");
    fs::rename(system32, root / "moved");
    fs::create_directory(system32);
    WriteBytes(system32 / "OLD.DLL", "o");
    WriteBytes(root / "moved" / "Kept.dll", "k");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\old.dll"), "");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\kept.dll"), "Kept.dll");
    fs::remove_all(root / "moved");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\old.dll"), "OLD.DLL");
    EXPECT_EQ(OnDisk("C:\\windows\\SYSTEM32\\old.dll"), "OLD.DLL");
    // The same for a folder below, removed and made anew: a name missed or one on the way down.
    fs::create_directories(system32 / "sub" / "deeper");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\sub\\deeper\\new.dll"), "");
    fs::remove_all(system32 / "sub");
    WriteBytes(system32 / "sub" / "deeper" / "New.dll", "n");
    WriteBytes(system32 / "sub" / "Other.dll", "o");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\sub\\deeper\\new.dll"), "New.dll");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\sub\\other.dll"), "Other.dll");
}

TEST_F(LookupTest, NamesThatDifferOnlyInCaseResolveToTheFirstTheFolderLists) {
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\twin.dll"), "");
    WriteBytes(system32 / "Twin.dll", "1");
    WriteBytes(system32 / "TWIN.dll", "2");
    std::string first;
    DIR* dir = opendir(system32.c_str());
    while (const dirent* entry = readdir(dir)) {
        if (std::string(entry->d_name).rfind("T", 0) == 0) {
            first = entry->d_name;
            break;
        }
    }
    closedir(dir);
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\twin.DLL"), first);
}

TEST_F(LookupTest, ManyFoldersStayCorrect) {
    for (int i = 0; i < 80; ++i) {
        const std::string folder = "C:\\windows\\f" + std::to_string(i);
        fs::create_directories(prefix / "drive_c" / "windows" / ("f" + std::to_string(i)));
        EXPECT_EQ(OnDisk(folder + "\\x.dll"), "");
        WriteBytes(prefix / "drive_c" / "windows" / ("f" + std::to_string(i)) / "X.DLL", "x");
    }
    for (int i = 0; i < 80; ++i)
        EXPECT_EQ(OnDisk("C:\\windows\\f" + std::to_string(i) + "\\x.dll"), "X.DLL") << i;
}

TEST_F(LookupTest, ALongRunOfChangesKeepsEveryNameFindable) {
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\keep.dll"), "");
    WriteBytes(system32 / "Keep.DLL", "k");
    for (int i = 0; i < 3000; ++i) {
        const fs::path temporary = system32 / (".~Lib" + std::to_string(i) + ".tmp");
        WriteBytes(temporary, "t");
        fs::rename(temporary, system32 / ("Lib" + std::to_string(i) + ".DLL"));
        if (i % 500 == 0) {
            EXPECT_EQ(OnDisk("C:\\windows\\system32\\lib" + std::to_string(i) + ".dll"),
                      "Lib" + std::to_string(i) + ".DLL");
        }
    }
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\keep.dll"), "Keep.DLL");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\LIB2999.dll"), "Lib2999.DLL");
    EXPECT_EQ(OnDisk("C:\\windows\\system32\\.~lib5.TMP"), "");
}

TEST_F(LookupTest, ANameBelowADanglingLinkIsOnAMissingPath) {
    fs::create_symlink(root / "nowhere", system32 / "gone");
    posix::HostPath resolved;
    for (const char* path :
         {"C:\\windows\\system32\\gone\\x.dll", "C:\\windows\\system32\\GONE\\x.dll"}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(posix::ResolvePath(path, resolved)) << path;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << path;
    }
}

TEST_F(LookupTest, ARelativePathFailsWhereTheCurrentFolderIsOnNoDrive) {
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
    const fs::path saved = fs::current_path();
    fs::current_path(root); // no drive holds it: this prefix has no z:
    posix::HostPath resolved;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(posix::ResolvePath("foo.dll", resolved));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(posix::ResolvePath("\\foo.dll", resolved));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    fs::current_path(saved);
}

} // namespace
