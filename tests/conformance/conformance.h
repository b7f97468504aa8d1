// The fixtures of the conformance cases: a scoped folder on the real disk, named as the Win32
// calls see it, and the cases where Wine is known to answer otherwise than Windows.
#ifndef DLLINSTALL_CONFORMANCE_H
#define DLLINSTALL_CONFORMANCE_H

#include "test_support.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <windows.h>

namespace testing_support {

// Skips the running case under Wine when Wine is known to differ from Windows there, with
// the reason; the one list of those cases is in wine_deviations.cpp.
void SkipWhereWineDiffers();

// Every fixture of the conformance cases: the current case is first checked against the list.
class ConformanceTest : public ::testing::Test {
  protected:
    void SetUp() override { SkipWhereWineDiffers(); }
};

// A work folder "work" in a fresh temporary folder; on Linux with a prefix for the layer.
class FilesTest : public ConformanceTest {
  protected:
    TempFolder rootFolder;
    fs::path root = rootFolder.path();
    ScopedPrefix scoped{MakePrefix(root / "prefix")};
    fs::path dir = root / "work";

    void SetUp() override {
        ConformanceTest::SetUp();
        fs::create_directory(dir);
    }
    std::string Dos(const std::string& name) const { return DosPath(dir / name); }
};

// A library folder "LIB" to remove, in a fresh temporary folder.
class FsTest : public ConformanceTest {
  protected:
    TempFolder rootFolder;
    fs::path root = rootFolder.path();
    fs::path prefix = MakePrefix(root / "prefix");
    ScopedPrefix scoped{prefix};
    fs::path tree = root / "LIB";
    std::string Dos(const fs::path& p) const { return DosPath(p); }
};

// The names in the folder as it lists them, whatever the case rules of the host.
inline std::set<std::string> NamesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

} // namespace testing_support

#define EXPECT_FAILS_WITH(call, error)                                                             \
    do {                                                                                           \
        SetLastError(0xdeadbeef);                                                                  \
        EXPECT_FALSE(call);                                                                        \
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(error));                                      \
    } while (0)

#endif
