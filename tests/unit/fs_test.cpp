// The tool's shell folder service on the POSIX layer, whose module count it checks. The cases
// of the tool's path services over the Win32 API are in tests/conformance.
#include "conformance.h"
#include "fs/folders.h"
#include "modules.h"

#include <shlobj.h>

namespace {

using namespace testing_support;

TEST_F(FsTest, ShellFolderIsTheSystemFolderAndTheLibraryIsAlwaysFreed) {
    EXPECT_STREQ(GetShellFolderPath(CSIDL_SYSTEM), "C:\\windows\\system32");
    EXPECT_EQ(posix::ShellFolderModuleReferences(), 0);
    EXPECT_STREQ(GetShellFolderPath(0x7777), "");
    EXPECT_EQ(posix::ShellFolderModuleReferences(), 0);
    fs::remove(prefix / "drive_c" / "windows" / "system32");
    EXPECT_STREQ(GetShellFolderPath(CSIDL_SYSTEM), "");
    EXPECT_EQ(posix::ShellFolderModuleReferences(), 0);
}

} // namespace
