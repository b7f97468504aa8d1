// The POSIX layer's model of a Wine prefix: drives, case-insensitive names, NTFS order and
// the one errno table.
#include "common/last_error.h"
#include "paths/dos_path.h"
#include "paths/name_fold.h"
#include "test_support.h"

#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <unistd.h>
#include <windows.h>

namespace {

using namespace testing_support;

class PrefixTest : public ::testing::Test, protected PrefixFolders {};

TEST_F(PrefixTest, WithoutDosDevicesDriveCIsDriveCAndZIsTheHostRoot) {
    posix::HostPath resolved;
    ASSERT_TRUE(posix::ResolvePath("C:\\windows\\system32", resolved));
    EXPECT_TRUE(resolved.exists);
    EXPECT_EQ(fs::path(resolved.path), system32);
    EXPECT_EQ(posix::DosPathFromHost(system32.string()), "C:\\windows\\system32");
    EXPECT_EQ(posix::DosPathFromHost((root / "x").string()), DosPath(root / "x"));
}

TEST_F(PrefixTest, DosDevicesLinksDecideTheDrivesAndTheClosestRootWins) {
    MakePrefix(prefix, {.driveLinks = true});
    fs::create_directories(root / "data" / "inner");
    fs::create_directory_symlink(root / "data", prefix / "dosdevices" / "d:");
    ScopedPrefix again(prefix); // the drive table is read again for a changed prefix
    EXPECT_EQ(posix::DosPathFromHost((root / "data" / "inner").string()), "D:\\inner");
    EXPECT_EQ(posix::DosPathFromHost((root / "data").string()), "D:\\");
    EXPECT_EQ(posix::DosPathFromHost(system32.string()), "C:\\windows\\system32");
    posix::HostPath resolved;
    ASSERT_TRUE(posix::ResolvePath("d:\\INNER", resolved));
    EXPECT_EQ(fs::path(resolved.path), root / "data" / "inner");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(posix::ResolvePath("Q:\\anything", resolved));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(PrefixTest, NamesMatchExactlyFirstThenWithoutRegardToCase) {
    WriteBytes(system32 / "Mixed.DLL", "m");
    WriteBytes(system32 / "twin.dll", "lower");
    WriteBytes(system32 / "TWIN.DLL", "upper");
    posix::HostPath resolved;
    ASSERT_TRUE(posix::ResolvePath("C:\\WINDOWS\\System32\\mixed.dll", resolved));
    EXPECT_TRUE(resolved.exists);
    EXPECT_EQ(fs::path(resolved.path).filename(), "Mixed.DLL");
    ASSERT_TRUE(posix::ResolvePath("C:\\windows\\system32\\TWIN.DLL", resolved));
    EXPECT_EQ(fs::path(resolved.path).filename(), "TWIN.DLL");
    ASSERT_TRUE(posix::ResolvePath("C:/windows/system32/twin.dll", resolved));
    EXPECT_EQ(fs::path(resolved.path).filename(), "twin.dll");
}

TEST_F(PrefixTest, MissingLeafIsNoFailureButMissingParentIsPathNotFound) {
    posix::HostPath resolved;
    ASSERT_TRUE(posix::ResolvePath("C:\\windows\\system32\\New.dll", resolved));
    EXPECT_FALSE(resolved.exists);
    EXPECT_EQ(fs::path(resolved.path), system32 / "New.dll"); // a new file takes the name given
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(posix::ResolvePath("C:\\windows\\nowhere\\New.dll", resolved));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    WriteBytes(system32 / "file", "f");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(posix::ResolvePath("C:\\windows\\system32\\file\\below", resolved));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(PrefixTest, PathsMustFitMaxPathAsInTheAnsiCalls) {
    std::string path = "C:\\windows\\";
    path += std::string(MAX_PATH - 1 - path.size(), 'a');
    posix::HostPath resolved;
    EXPECT_TRUE(posix::ResolvePath(path.c_str(), resolved)); // 259 characters fit
    path += 'a';
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(posix::ResolvePath(path.c_str(), resolved));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

// Only "." and ".." are the current and the parent folder; every other name loses one trailing
// dot, the last one all its trailing dots and blanks, as Windows reads paths (checked under
// Wine), and what is then no Windows name is refused instead of looked up.
TEST_F(PrefixTest, PathNamesAreReadAsWindowsReadsThemAndNeverClimbOtherwise) {
    fs::create_directories(system32 / "..." / "inner");
    fs::create_directories(system32 / ".. " / "inner");
    fs::create_directories(prefix / "drive_c" / "windows" / "temp.");
    const fs::path windows = prefix / "drive_c" / "windows";
    const struct {
        const char* path;
        fs::path found; // empty: refused with `error`
        DWORD error;
    } kCases[] = {
        {"C:\\windows\\.\\temp\\..\\system32", system32, 0},
        {"C:\\..\\..\\windows", windows, 0},
        {"C:\\windows\\system32.\\", system32, 0},
        {"C:\\windows\\system32. ", system32, 0},
        {"C:\\windows\\system32 . .", system32, 0},
        {"C:\\windows\\system32\\...", system32, 0},
        {"C:\\windows\\...\\..\\system32", system32, 0},
        {"C:\\windows\\system32\\...\\inner", {}, ERROR_INVALID_NAME},
        {"C:\\windows\\system32\\....\\inner", {}, ERROR_PATH_NOT_FOUND},
        {"C:\\windows\\system32\\.. \\inner", {}, ERROR_PATH_NOT_FOUND},
        {"C:\\windows\\temp.\\x", {}, ERROR_PATH_NOT_FOUND},
        {"C:\\windows\\system32 \\x", {}, ERROR_PATH_NOT_FOUND},
        {"C:\\windows\\a:b", {}, ERROR_INVALID_NAME},
        {"C:\\windows\\a*b", {}, ERROR_INVALID_NAME},
        {"C:\\windows\\a?b", {}, ERROR_INVALID_NAME},
        {"C:\\windows\\a\"b", {}, ERROR_INVALID_NAME},
        {"C:\\windows\\a<b\\c", {}, ERROR_INVALID_NAME},
        {"C:\\windows\\a>b", {}, ERROR_INVALID_NAME},
        {"C:\\windows\\a|b", {}, ERROR_INVALID_NAME},
        {"C:\\windows\\a\r\nb", {}, ERROR_INVALID_NAME},
        {"C:\\windows\\a\x7f\xff", {}, ERROR_INVALID_NAME},
        // A device name, wherever it stands, names a device the layer never opens.
        {"C:\\windows\\aux.dll", {}, ERROR_ACCESS_DENIED},
        {"C:\\windows\\CON\\system32", {}, ERROR_ACCESS_DENIED},
        {"C:\\windows\\prn. .", {}, ERROR_ACCESS_DENIED}, // trimmed to "prn"
        {"C:\\windows\\com0.dll", windows / "com0.dll", 0},
        {"C:\\windows\\ nul.dll", windows / " nul.dll", 0},
    };
    for (const auto& c : kCases) {
        posix::HostPath resolved;
        SetLastError(0xdeadbeef);
        const bool found = posix::ResolvePath(c.path, resolved);
        EXPECT_EQ(found, !c.found.empty()) << c.path;
        if (found)
            EXPECT_EQ(fs::path(resolved.path), c.found) << c.path;
        else
            EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
}

// A host path is given a Windows form only when every name below its drive's root is one
// Windows can hold: "prod." would read as its sibling "prod", "a\\b" as two names.
TEST_F(PrefixTest, HostPathsWithNamesWindowsCannotHoldHaveNoWindowsForm) {
    for (const char* name :
         {"prod.", "prod ", "a\\b", "a:b", "a\nb", "\xff", "...", "aux", "Nul.d"})
        EXPECT_EQ(posix::DosPathFromHost((root / name / "dllinstall").string()), "") << name;
    EXPECT_EQ(posix::DosPathFromHost((root / " prod" / "x.y").string()),
              DosPath(root / " prod" / "x.y"));
}

TEST_F(PrefixTest, ShellFolderAndModuleNameFollowThePrefix) {
    char path[MAX_PATH] = "unchanged";
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_SYSTEM, nullptr, 0, path), S_OK);
    EXPECT_STREQ(path, "C:\\windows\\system32");
    fs::remove(system32);
    EXPECT_TRUE(FAILED(SHGetFolderPathA(nullptr, CSIDL_SYSTEM, nullptr, 0, path)));
}

// Wine refuses a prefix that is not the runner's own; so does the layer, for a root run must not
// install into a prefix whose owner could have pointed its system folder anywhere.
TEST_F(PrefixTest, PrefixOfAnotherUserHasNoSystemFolder) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give the prefix to another user";
    char path[MAX_PATH] = "unchanged";
    ASSERT_EQ(chown(prefix.c_str(), 65534, static_cast<gid_t>(-1)), 0);
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_SYSTEM, nullptr, 0, path),
              HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    ASSERT_EQ(chown(prefix.c_str(), 0, static_cast<gid_t>(-1)), 0);
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_SYSTEM, nullptr, 0, path), S_OK);
}

TEST(NameOrder, ListsLikeNtfsByUpperCasedUtf16) {
    std::vector<std::string> names = {"b.dll", "A.dll", "_x.dll", "a1.dll", "Z.dll",
                                      "é.dll", "1.dll", "~.dll",  "｡.dll",  "😀.dll"};
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return posix::NameSortKey(a) < posix::NameSortKey(b);
    });
    // '_' (0x5F) sorts after the letters once they are upper case; 'é' goes to 'É' (0xC9). The
    // emoji's surrogate pair (0xD83D...) comes before U+FF61: UTF-16 order, not code points.
    const std::vector<std::string> expected = {"1.dll",  "A.dll", "a1.dll", "b.dll", "Z.dll",
                                               "_x.dll", "~.dll", "é.dll",  "😀.dll", "｡.dll"};
    EXPECT_EQ(names, expected);
    EXPECT_TRUE(posix::NamesEqualIgnoringCase("ünïcode.DLL", "ÜNÏCODE.dll"));
    EXPECT_TRUE(posix::NamesEqualIgnoringCase("Ωμέγα.dll", "ΩΜΈΓΑ.DLL"));
    EXPECT_FALSE(posix::NamesEqualIgnoringCase("a.dll", "a.dl"));
}

// Windows' table, unit by unit: the BMP's case pairs of Unicode 5.1 and nothing else.
TEST(NameOrder, UnitsUpcaseAsInWindowsTable) {
    struct Row {
        char16_t unit, upper;
        const char* why;
    };
    const Row rows[] = {
        {u'a', u'A', "ASCII"},
        {0x00FF, 0x0178, "y diaeresis leaves Latin-1"},
        {0x0180, 0x0243, "Latin Extended-B, a pair of Unicode 5.0"},
        {0x01DD, 0x018E, "Latin Extended-B turned e"},
        {0x0250, 0x2C6F, "a pair of Unicode 5.1"},
        {0x023F, 0x023F, "its capital came in Unicode 5.2"},
        {0x0131, 0x0131, "dotless i is not I's lower case"},
        {0x017F, 0x017F, "long s is not S's lower case"},
        {0x00B5, 0x00B5, "micro sign is not Mu's lower case"},
        {0x01C5, 0x01C5, "titlecase digraph"},
        {0x01C6, 0x01C4, "lowercase digraph"},
        {0x03C2, 0x03C2, "final sigma is not Sigma's lower case"},
        {0x03C3, 0x03A3, "sigma"},
        {0x1F80, 0x1F88, "Greek Extended with ypogegrammeni"},
        {0x1FB3, 0x1FBC, "Greek Extended alpha with ypogegrammeni"},
        {0x0561, 0x0531, "Armenian"},
        {0x2D00, 0x10A0, "Georgian Nuskhuri to Asomtavruli"},
        {0x10D0, 0x10D0, "Mkhedruli's Mtavruli came in Unicode 11"},
        {0x2C30, 0x2C00, "Glagolitic"},
        {0x2C5F, 0x2C5F, "Glagolitic of Unicode 14"},
        {0x24D0, 0x24B6, "circled letters"},
        {0xAB70, 0xAB70, "Cherokee small letters came in Unicode 8"},
        {0x13A0, 0x13A0, "Cherokee capitals stay"},
        {0xFF41, 0xFF21, "fullwidth"},
        {0xD83D, 0xD83D, "a surrogate stays"},
        {0xDE00, 0xDE00, "a surrogate stays"},
        {0xFFFF, 0xFFFF, "the last unit"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(static_cast<int>(posix::UpcaseUnit(row.unit)), static_cast<int>(row.upper))
            << row.why;
    // Beyond the BMP nothing folds: Deseret's case pair is two names.
    EXPECT_FALSE(posix::NamesEqualIgnoringCase("\xf0\x90\x90\xa8.dll", "\xf0\x90\x90\x80.dll"));
    EXPECT_TRUE(posix::NamesEqualIgnoringCase("ａx.dll", "Ａx.DLL"));
    // The order comes from the same table: circled a (U+24D0) lists as its capital (U+24B6),
    // before a capital circled b (U+24B7); Georgian an (U+10D0) is no Mtavruli (U+1C90).
    EXPECT_LT(posix::NameSortKey("\u24D01.dll"), posix::NameSortKey("\u24B70.dll"));
    EXPECT_LT(posix::NameSortKey("\u10D0.dll"), posix::NameSortKey("\u1C90.dll"));
}

TEST(NameOrder, MalformedUtf8StaysDistinct) {
    EXPECT_FALSE(posix::NamesEqualIgnoringCase("\xff.dll", "\xfe.dll"));
    EXPECT_FALSE(posix::NamesEqualIgnoringCase("\xc3", "\xc3\xa9"));
    EXPECT_EQ(posix::Utf16FromUtf8("\xe2\x82").size(), 2u);
}

TEST(Wildcards, MatchWithoutRegardToCase) {
    EXPECT_TRUE(posix::MatchesWildcard("Foo.DLL", "*.dll"));
    EXPECT_TRUE(posix::MatchesWildcard(".dll", "*.dll"));
    EXPECT_FALSE(posix::MatchesWildcard("foo.dllx", "*.dll"));
    EXPECT_FALSE(posix::MatchesWildcard("foo.dl", "*.dll"));
    EXPECT_TRUE(posix::MatchesWildcard("noextension", "*.*"));
    EXPECT_TRUE(posix::MatchesWildcard("..", "*.*"));
    EXPECT_TRUE(posix::MatchesWildcard("a.b.dll", "?.*.DLL"));
    EXPECT_FALSE(posix::MatchesWildcard("ab.dll", "?.dll"));
    const std::string many(2000, 'a');
    EXPECT_FALSE(posix::MatchesWildcard(many, "*a*a*a*a*a*a*b")); // no exponential blow-up
}

TEST(Errors, OneTableMapsErrnoAndNeverToSuccess) {
    EXPECT_EQ(posix::Win32ErrorFromErrno(ENOENT), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(posix::Win32ErrorFromErrno(ENOTDIR), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(posix::Win32ErrorFromErrno(EACCES), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(posix::Win32ErrorFromErrno(EPERM), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(posix::Win32ErrorFromErrno(ENOSPC), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(posix::Win32ErrorFromErrno(ENOTEMPTY), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_EQ(posix::Win32ErrorFromErrno(EIO), static_cast<DWORD>(ERROR_IO_DEVICE));
    EXPECT_EQ(posix::Win32ErrorFromErrno(ENAMETOOLONG),
              static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    for (int err : {0, 9999, EHOSTDOWN})
        EXPECT_NE(posix::Win32ErrorFromErrno(err), static_cast<DWORD>(ERROR_SUCCESS)) << err;
}

} // namespace
