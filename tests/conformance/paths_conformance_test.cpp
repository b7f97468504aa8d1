// The module path and the shell's path rules of the Win32 API. The same cases run on the
// POSIX layer and, built with mingw-w64, under Wine.
#include "conformance.h"

#include <algorithm>
#include <shlwapi.h>

namespace {

using namespace testing_support;

using ModuleFileName = ConformanceTest;
using ShellPaths = ConformanceTest;

TEST_F(ModuleFileName, CutOffPathReportsInsufficientBufferAsWindowsDoes) {
    char full[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameA(nullptr, full, sizeof full);
    ASSERT_GT(length, 4u);
    EXPECT_EQ(std::string(full, 2), "Z:");
    EXPECT_EQ(std::count(full, full + length, '/'), 0);
    char small[4];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), std::string(full, 3));
}

TEST_F(ShellPaths, RelativeFollowsTheShellsRule) {
    EXPECT_FALSE(PathIsRelativeA("C:\\x"));
    EXPECT_FALSE(PathIsRelativeA("c:x"));
    EXPECT_FALSE(PathIsRelativeA("\\x"));
    EXPECT_FALSE(PathIsRelativeA("\\\\server\\share"));
    EXPECT_TRUE(PathIsRelativeA("x\\y"));
    EXPECT_TRUE(PathIsRelativeA("/tmp"));
    EXPECT_TRUE(PathIsRelativeA(""));
}

} // namespace
