// Paths at the MAX_PATH limit: program folders whose module path is 258 to 300 characters long,
// and DLL names that make the destination 258 to 275 characters long. What fits is installed;
// what does not fails the run with LIB kept, so that nothing is lost.
#include "tool_run.h"

#include <gtest/gtest.h>

namespace {

using namespace tool_run;
using testing_support::Fixture;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

constexpr size_t kToolNameLength = 10; // "dllinstall", as long as "Tarvik.dll"
const std::string kSystemDos = "C:\\windows\\system32\\";

// The program folder below the root whose "\dllinstall" is a module path of `length` characters.
fs::path ProgramFolderFor(const fs::path& root, size_t length) {
    size_t left = length - DosPathOf(root).size() - 1 - kToolNameLength;
    fs::path folder = root;
    for (char letter = 'a'; left > 0; ++letter) {
        size_t name = std::min<size_t>(left - 1, 200);
        if (left - 1 - name == 1)
            --name; // a lone separator cannot be left over: it needs a name after it
        folder /= std::string(name, letter);
        left -= name + 1;
    }
    return folder;
}

std::string Copied(const std::string& from, const std::string& to) {
    return "Copy from '" + from + "'\r\nto '" + to + "'\n";
}

std::string CopyFailed(const std::string& from, const std::string& to) {
    return "Error: Cannot copy from\r\n'" + from + "'\r\nto the\r\n'" + to + "'\n";
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class ModulePath : public ::testing::TestWithParam<size_t> {
  protected:
    ModulePath()
        : setup_("dllinstall-long",
                 [length = GetParam()](const fs::path& root) {
                     return ProgramFolderFor(root, length);
                 }),
          folder_(DosPathOf(setup_.program) + "\\") {}

    void SetUp() override { ASSERT_EQ(DosPathOf(setup_.program / kToolName).size(), GetParam()); }

    Installation setup_;
    const std::string folder_;
};

using FittingModulePath = ModulePath;
using TooLongModulePath = ModulePath;

TEST_P(FittingModulePath, InstallsAndLeavesNoLogWhosePathWouldBePastTheLimit) {
    WriteBytes(setup_.lib / "a.dll", Filler(3000, 1));
    const RunResult run = setup_.Run();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console, "Starting installation procedure...\n" +
                               Copied(folder_ + "Tarvik.dll", kSystemDos + "Tarvik.dll") +
                               "Copying required DLLs to the system folder...\n" +
                               Copied(folder_ + "LIB\\a.dll", kSystemDos + "a.dll") +
                               "Installation is successfully complited.\n");
    EXPECT_EQ(ReadBytes(setup_.system / "a.dll"), Filler(3000, 1));
    EXPECT_FALSE(fs::exists(setup_.lib));
    // The log's path is 8 characters longer than the module path: the "A" file calls refuse it,
    // and the tool writes its log best effort, as on Windows.
    EXPECT_FALSE(fs::exists(setup_.program / kLogName));
}

TEST_P(FittingModulePath, ADllWhoseOwnPathIsPastTheLimitFailsTheRunWithLibKept) {
    WriteBytes(setup_.lib / "a.dll", Filler(3000, 1));
    WriteBytes(setup_.lib / "abcd.dll", Filler(3000, 2)); // LIB\abcd.dll is MAX_PATH or longer
    const Tree lib = Snapshot(setup_.lib);
    const RunResult run = setup_.Run();
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(
        EndsWith(run.console, Copied(folder_ + "LIB\\a.dll", kSystemDos + "a.dll") +
                                  CopyFailed(folder_ + "LIB\\abcd.dll", kSystemDos + "abcd.dll")))
        << run.console;
    EXPECT_EQ(DescribeDifferences(lib, Snapshot(setup_.lib)), "");
    EXPECT_FALSE(fs::exists(setup_.system / "abcd.dll"));
    EXPECT_FALSE(fs::exists(setup_.program / kLogName));
}

TEST_P(TooLongModulePath, IsRefusedBeforeAnythingIsTouched) {
    WriteBytes(setup_.lib / "a.dll", Filler(3000, 1));
    const Tree program = Snapshot(setup_.program);
    const RunResult run = setup_.Run();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.console,
              "Starting installation procedure...\nError: Cannot get installation target path.\n");
    EXPECT_EQ(DescribeDifferences(program, Snapshot(setup_.program)), "");
    EXPECT_TRUE(fs::is_empty(setup_.system));
}

// 259 characters and the terminator fill MAX_PATH exactly, which the tool still accepts.
INSTANTIATE_TEST_SUITE_P(Lengths, FittingModulePath, ::testing::Values(258, 259));
INSTANTIATE_TEST_SUITE_P(Lengths, TooLongModulePath, ::testing::Values(260, 300));

// The program folder is the root of drive P:, so that "P:\LIB\<name>" is shorter than the
// destination "C:\windows\system32\<name>" and the destination alone meets the limit.
class DestinationPath : public ::testing::TestWithParam<size_t> {
  protected:
    DestinationPath()
        : name_(std::string(GetParam() - kSystemDos.size() - 4, 'n') + ".dll"),
          source_("P:\\LIB\\" + name_), destination_(kSystemDos + name_) {
        const fs::path devices = setup_.prefix / "dosdevices";
        fs::create_directories(devices);
        fs::create_directory_symlink("../drive_c", devices / "c:");
        fs::create_directory_symlink(setup_.program, devices / "p:");
    }

    void SetUp() override {
        ASSERT_EQ(destination_.size(), GetParam());
        if (Fixture("v1.0.0.0.dll").empty() || Fixture("v3.0.0.0.dll").empty())
            GTEST_SKIP() << "fixture DLLs are missing";
    }

    Installation setup_{"dllinstall-names"};
    const std::string name_;
    const std::string source_;
    const std::string destination_;
};

using FittingDestination = DestinationPath;
using TooLongDestination = DestinationPath;

TEST_P(FittingDestination, IsInstalled) {
    fs::copy_file(Fixture("v1.0.0.0.dll"), setup_.lib / name_);
    const RunResult run = setup_.Run();
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.console.find(Copied(source_, destination_)), std::string::npos) << run.console;
    EXPECT_EQ(ReadBytes(setup_.system / name_), ReadBytes(Fixture("v1.0.0.0.dll")));
    EXPECT_FALSE(fs::exists(setup_.lib));
    EXPECT_EQ(setup_.Log(), LogFromConsole(run.console));
}

TEST_P(FittingDestination, KeepsANewerInstalledCopy) {
    fs::copy_file(Fixture("v1.0.0.0.dll"), setup_.lib / name_);
    fs::copy_file(Fixture("v3.0.0.0.dll"), setup_.system / name_);
    const RunResult run = setup_.Run();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console.find(Copied(source_, destination_)), std::string::npos) << run.console;
    EXPECT_EQ(ReadBytes(setup_.system / name_), ReadBytes(Fixture("v3.0.0.0.dll")));
    EXPECT_FALSE(fs::exists(setup_.lib));
}

TEST_P(TooLongDestination, FailsTheRunWithLibAndTheInstalledCopyKept) {
    for (bool installed : {false, true}) {
        fs::remove_all(setup_.lib);
        fs::create_directories(setup_.lib);
        fs::copy_file(Fixture("v3.0.0.0.dll"), setup_.lib / name_);
        if (installed)
            fs::copy_file(Fixture("v1.0.0.0.dll"), setup_.system / name_);
        const Tree lib = Snapshot(setup_.lib);
        const Tree system = Snapshot(setup_.system, {"Tarvik.dll"});
        const RunResult run = setup_.Run();
        EXPECT_EQ(run.status, 1) << "installed: " << installed;
        EXPECT_TRUE(EndsWith(run.console, CopyFailed(source_, destination_))) << run.console;
        EXPECT_EQ(DescribeDifferences(lib, Snapshot(setup_.lib)), "");
        EXPECT_EQ(DescribeDifferences(system, Snapshot(setup_.system, {"Tarvik.dll"})), "");
        EXPECT_FALSE(fs::exists(setup_.program / kLogName));
    }
}

// A host name has at most 255 bytes, so no destination can be longer than 20 + 255 = 275
// characters: a 300-character one cannot occur.
INSTANTIATE_TEST_SUITE_P(Lengths, FittingDestination, ::testing::Values(258, 259));
INSTANTIATE_TEST_SUITE_P(Lengths, TooLongDestination, ::testing::Values(260, 275));

} // namespace
