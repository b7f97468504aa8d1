// The tool's shell folder service on the POSIX layer, whose module count it checks. The cases
// of the tool's path services over the Win32 API are in tests/conformance.
#include "conformance.h"
#include "fs/device_name.h"
#include "fs/folders.h"
#include "paths/windows_name.h"
#include "process/modules.h"

#include <shlobj.h>

namespace {

using namespace testing_support;

TEST_F(FsTest, ShellFolderIsTheSystemFolderAndTheLibraryIsAlwaysFreed) {
    EXPECT_STREQ(GetShellFolderPath(CSIDL_SYSTEM), "C:\\windows\\system32");
    EXPECT_EQ(posix::LoadedModuleReferences(), 0);
    EXPECT_STREQ(GetShellFolderPath(0x7777), "");
    EXPECT_EQ(posix::LoadedModuleReferences(), 0);
    fs::remove(SystemFolderOf(prefix));
    EXPECT_STREQ(GetShellFolderPath(CSIDL_SYSTEM), "");
    EXPECT_EQ(posix::LoadedModuleReferences(), 0);
}

// The tool's test and the layer's say the same of every name: devices in any case, with any
// extension and blanks before it, the superscript digits too; near names are files.
TEST(DeviceNames, AreTheNamesWindowsOpensAsDevicesInAnyFolder) {
    for (const char* name : {"CON", "prn", "Aux", "nul", "aux.dll", "Aux .dll", "nul.tar.gz",
                             "com1", "COM9.dll", "lpt1.dll", "LPT9", "CONIN$.dll", "conout$",
                             "con  .x", "COM\u00B9.dll", "lpt\u00B2", "COM\u00B3.DLL"}) {
        EXPECT_TRUE(IsDeviceName(name)) << name;
        EXPECT_TRUE(posix::IsReservedDeviceName(name)) << name;
    }
    for (const char* name :
         {"", "co", "con1", "COM0.dll", "lpt0", "com10.dll", "LPT", "auxiliary.dll", "x.aux",
          " nul.dll", "nul_.dll", "CONIN", "conout.dll", "COM\u2074.dll", "COM\u00B4.dll",
          "com\xB9.dll", "c\u00F3n.dll"}) {
        EXPECT_FALSE(IsDeviceName(name)) << name;
        EXPECT_FALSE(posix::IsReservedDeviceName(name)) << name;
    }
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
