// Symbolic links in the program folder and in the prefix: DLLs are copied by content, links are
// replaced or removed as links, and what they point to outside is never touched.
#include "tool_run.h"

#include <gtest/gtest.h>

namespace {

using namespace tool_run;
using testing_support::Fixture;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

class Links : public ::testing::Test {
  protected:
    void SetUp() override {
        if (Fixture("v1.0.0.0.dll").empty() || Fixture("v2.0.0.0.dll").empty() ||
            Fixture("v3.0.0.0.dll").empty())
            GTEST_SKIP() << "fixture DLLs are missing";
        fs::create_directories(outside_);
    }

    void ExpectSuccess(const RunResult& run) {
        EXPECT_EQ(run.status, 0) << run.console;
        EXPECT_EQ(run.errors, "");
        EXPECT_FALSE(fs::exists(fs::symlink_status(setup_.lib)));
        EXPECT_EQ(setup_.Log(), LogFromConsole(run.console));
    }

    Installation setup_{"dllinstall-links"};
    const fs::path outside_ = setup_.root / "outside";
};

TEST_F(Links, DllLinkedToAFileOutsideLibIsCopiedByContentAndTheFileStays) {
    fs::copy_file(Fixture("v2.0.0.0.dll"), outside_ / "real.dll");
    fs::create_symlink(outside_ / "real.dll", setup_.lib / "linked.dll");
    const Tree outside = Snapshot(outside_);
    const RunResult run = setup_.Run();
    ExpectSuccess(run);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(setup_.system / "linked.dll")));
    EXPECT_EQ(ReadBytes(setup_.system / "linked.dll"), ReadBytes(Fixture("v2.0.0.0.dll")));
    EXPECT_EQ(DescribeDifferences(outside, Snapshot(outside_)), "");
}

TEST_F(Links, FolderLinkedIntoLibIsNotInstalledAndWhatItHoldsStays) {
    WriteBytes(outside_ / "shared" / "keep.dll", Filler(2000, 1));
    WriteBytes(outside_ / "shared" / "deeper" / "also.dll", Filler(2000, 2));
    fs::create_directory_symlink(outside_ / "shared", setup_.lib / "folder.dll");
    fs::create_directory_symlink(outside_ / "shared", setup_.lib / "plain");
    WriteBytes(setup_.lib / "a.dll", Filler(1000, 3));
    const Tree outside = Snapshot(outside_);
    const RunResult run = setup_.Run();
    ExpectSuccess(run);
    EXPECT_EQ(ReadBytes(setup_.system / "a.dll"), Filler(1000, 3));
    EXPECT_FALSE(fs::exists(fs::symlink_status(setup_.system / "folder.dll")));
    EXPECT_FALSE(fs::exists(setup_.system / "keep.dll"));
    EXPECT_EQ(DescribeDifferences(outside, Snapshot(outside_)), "");
}

TEST_F(Links, LibLinkedToASharedFolderIsInstalledFromAndOnlyTheLinkGoes) {
    fs::remove(setup_.lib);
    fs::copy_file(Fixture("v2.0.0.0.dll"), outside_ / "from_shared.dll");
    fs::create_directory_symlink(outside_, setup_.lib);
    const Tree outside = Snapshot(outside_);
    const RunResult run = setup_.Run();
    ExpectSuccess(run);
    EXPECT_EQ(ReadBytes(setup_.system / "from_shared.dll"), ReadBytes(Fixture("v2.0.0.0.dll")));
    EXPECT_EQ(DescribeDifferences(outside, Snapshot(outside_)), "");
}

// A link that leads nowhere cannot be copied: the run stops there with LIB kept whole.
TEST_F(Links, DanglingDllLinkFailsTheRunWithLibKept) {
    WriteBytes(setup_.lib / "a.dll", Filler(1000, 1));
    fs::create_symlink(outside_ / "missing.dll", setup_.lib / "broken.dll");
    const Tree lib = Snapshot(setup_.lib);
    const RunResult run = setup_.Run();
    const std::string libDos = DosPathOf(setup_.lib);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.console.find("Error: Cannot copy from\r\n'" + libDos +
                               "\\broken.dll'\r\nto the\r\n'C:\\windows\\system32\\broken.dll'\n"),
              std::string::npos)
        << run.console;
    EXPECT_EQ(DescribeDifferences(lib, Snapshot(setup_.lib)), "");
    EXPECT_FALSE(fs::exists(fs::symlink_status(setup_.system / "broken.dll")));
    EXPECT_FALSE(fs::exists(setup_.program / kLogName));
}

TEST_F(Links, SystemFolderThatIsALinkReceivesTheFilesWhereItLeads) {
    const fs::path real = outside_ / "real_system32";
    fs::create_directories(real);
    fs::remove(setup_.system);
    fs::create_directory_symlink(real, setup_.system);
    fs::copy_file(Fixture("v2.0.0.0.dll"), setup_.lib / "a.dll");
    const RunResult run = setup_.Run();
    ExpectSuccess(run);
    EXPECT_TRUE(fs::is_symlink(setup_.system));
    EXPECT_EQ(ReadBytes(real / "a.dll"), ReadBytes(Fixture("v2.0.0.0.dll")));
    EXPECT_EQ(ReadBytes(real / "Tarvik.dll"), Filler(4096, 7));
}

TEST_F(Links, InstalledDllLinkedIntoASharedFolderIsReplacedByAFileAndItsTargetStays) {
    fs::copy_file(Fixture("v1.0.0.0.dll"), outside_ / "shared.dll");
    fs::create_symlink(outside_ / "shared.dll", setup_.system / "shared.dll");
    fs::copy_file(Fixture("v2.0.0.0.dll"), setup_.lib / "shared.dll");
    const RunResult run = setup_.Run();
    ExpectSuccess(run);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(setup_.system / "shared.dll")));
    EXPECT_EQ(ReadBytes(setup_.system / "shared.dll"), ReadBytes(Fixture("v2.0.0.0.dll")));
    EXPECT_EQ(ReadBytes(outside_ / "shared.dll"), ReadBytes(Fixture("v1.0.0.0.dll")));
}

TEST_F(Links, InstalledDllLinkedToANewerFileIsKeptAsTheLinkItIs) {
    fs::copy_file(Fixture("v3.0.0.0.dll"), outside_ / "shared.dll");
    fs::create_symlink(outside_ / "shared.dll", setup_.system / "shared.dll");
    fs::copy_file(Fixture("v2.0.0.0.dll"), setup_.lib / "shared.dll");
    const RunResult run = setup_.Run();
    ExpectSuccess(run);
    EXPECT_EQ(fs::read_symlink(setup_.system / "shared.dll"), outside_ / "shared.dll");
    EXPECT_EQ(ReadBytes(outside_ / "shared.dll"), ReadBytes(Fixture("v3.0.0.0.dll")));
}

TEST_F(Links, InstalledDllThatIsADanglingLinkIsReplacedByAFile) {
    fs::create_symlink(outside_ / "gone.dll", setup_.system / "gone.dll");
    fs::copy_file(Fixture("v2.0.0.0.dll"), setup_.lib / "gone.dll");
    const RunResult run = setup_.Run();
    ExpectSuccess(run);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(setup_.system / "gone.dll")));
    EXPECT_EQ(ReadBytes(setup_.system / "gone.dll"), ReadBytes(Fixture("v2.0.0.0.dll")));
    EXPECT_FALSE(fs::exists(outside_ / "gone.dll"));
}

} // namespace
