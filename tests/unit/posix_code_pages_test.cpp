// The layer's code pages: text is UTF-8, and the console reports UTF-8 and takes no other.
#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(CodePagesTest, TextAndConsoleAreUtf8AndTheConsoleTakesNoOther) {
    EXPECT_EQ(GetACP(), UINT{CP_UTF8});
    EXPECT_EQ(GetConsoleOutputCP(), UINT{CP_UTF8});
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(SetConsoleOutputCP(CP_UTF8));
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    for (const UINT other : {0u, 437u, 850u, 1252u}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetConsoleOutputCP(other)) << other;
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER}) << other;
        EXPECT_EQ(GetConsoleOutputCP(), UINT{CP_UTF8}) << other;
    }
}

} // namespace
