// The tool's shell folder service on the POSIX layer, whose module count it checks. The cases
// of the tool's path services over the Win32 API are in tests/conformance.
#include "conformance.h"
#include "fs/folders.h"
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
