// A library folder that cannot be listed fails the run and stays whole; one that lists nothing,
// or nothing but other files, is simply removed.
#include "installation.h"

#include <gtest/gtest.h>

namespace {

using namespace faultinject;
using testing_support::WriteBytes;

struct ListingFault {
    const char* call;
    const char* at; // "" for every such call on LIB
    const char* mode;
};

std::string Name(const ListingFault& fault) {
    return std::string(fault.call) + (*fault.at ? std::string("At") + fault.at : "") + fault.mode;
}

void PrintTo(const ListingFault& fault, std::ostream* out) {
    *out << Name(fault);
}

std::string PrintName(const ::testing::TestParamInfo<ListingFault>& info) {
    return Name(info.param);
}

class UnreadableLib : public ::testing::TestWithParam<ListingFault> {};

TEST_P(UnreadableLib, FailsWithTheFolderAndEveryDllKept) {
    Installation setup("dllinstall-unreadable");
    WriteBytes(setup.lib / "a.dll", Filler(5000, 1));
    WriteBytes(setup.lib / "b.dll", Filler(7000, 2));
    WriteBytes(setup.lib / "c.dll", Filler(9000, 3));
    WriteBytes(setup.lib / "sub" / "d.dll", Filler(100, 4));
    const Tree libBefore = Snapshot(setup.lib);

    Environment faults = {{"DLLINSTALL_FAULT_CALL", GetParam().call},
                          {"DLLINSTALL_FAULT_PATH", setup.lib.string()},
                          {"DLLINSTALL_FAULT_MODE", GetParam().mode}};
    if (*GetParam().at)
        faults.emplace_back("DLLINSTALL_FAULT_AT", GetParam().at);
    const RunResult run = setup.Run(faults, true);

    const std::string programDos = DosPath(setup.program);
    EXPECT_EQ(run.status, 1) << Describe(run);
    EXPECT_EQ(run.out, "Starting installation procedure...\n"
                       "Copy from '" +
                           programDos +
                           "\\Tarvik.dll'\r\n"
                           "to 'C:\\windows\\system32\\Tarvik.dll'\n"
                           "Copying required DLLs to the system folder...\n"
                           "Error: Cannot read the '" +
                           programDos +
                           "\\LIB'\r\n"
                           "source folder.\n");
    EXPECT_TRUE(DescribeDifferences(libBefore, Snapshot(setup.lib)).empty());
    EXPECT_FALSE(fs::exists(setup.program / kLogName));
    EXPECT_FALSE(fs::exists(setup.system / "a.dll"));
}

INSTANTIATE_TEST_SUITE_P(Faults, UnreadableLib,
                         ::testing::Values(ListingFault{"opendir", "", "EIO"},
                                           ListingFault{"opendir", "", "EACCES"},
                                           ListingFault{"readdir", "1", "EIO"},
                                           ListingFault{"readdir", "4", "EIO"},
                                           ListingFault{"readdir", "7", "EIO"}),
                         PrintName);

// An entry that cannot be read leaves the listing unfinished: the DLLs before it are installed,
// and LIB stays with every DLL, the unread one included.
TEST(UnreadableEntry, FailsTheRunWithLibKept) {
    Installation setup("dllinstall-unreadable-entry");
    WriteBytes(setup.lib / "a.dll", Filler(5000, 1));
    WriteBytes(setup.lib / "b.dll", Filler(7000, 2));
    WriteBytes(setup.lib / "c.dll", Filler(9000, 3));
    const Tree libBefore = Snapshot(setup.lib);
    const RunResult run = setup.Run({{"DLLINSTALL_FAULT_CALL", "lstat"},
                                     {"DLLINSTALL_FAULT_PATH", (setup.lib / "b.dll").string()},
                                     {"DLLINSTALL_FAULT_MODE", "EIO"}},
                                    true);
    const std::string lib = DosPath(setup.lib);
    const std::string copiedA =
        "Copy from '" + lib + "\\a.dll'\r\nto 'C:\\windows\\system32\\a.dll'\n";
    const std::string unreadable = "Error: Cannot read the '" + lib + "'\r\nsource folder.\n";
    EXPECT_EQ(run.status, 1) << Describe(run);
    EXPECT_TRUE(run.out.ends_with(copiedA + unreadable)) << run.out;
    EXPECT_EQ(DescribeDifferences(libBefore, Snapshot(setup.lib)), "");
    EXPECT_EQ(testing_support::ReadBytes(setup.system / "a.dll"), Filler(5000, 1));
    EXPECT_FALSE(fs::exists(setup.system / "b.dll"));
    EXPECT_FALSE(fs::exists(setup.system / "c.dll"));
    EXPECT_FALSE(fs::exists(setup.program / kLogName));
}

void ExpectRemovedWithSuccess(const Installation& setup) {
    const Tree systemBefore = Snapshot(setup.system);
    const RunResult run = setup.Run();
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_FALSE(fs::exists(fs::symlink_status(setup.lib)));
    EXPECT_EQ(setup.Log(), LogFromConsole(run.out));
    EXPECT_EQ(run.out, "Starting installation procedure...\n"
                       "Copy from '" +
                           DosPath(setup.program) +
                           "\\Tarvik.dll'\r\n"
                           "to 'C:\\windows\\system32\\Tarvik.dll'\n"
                           "Copying required DLLs to the system folder...\n"
                           "Installation is successfully complited.\n");
    Tree systemAfter = Snapshot(setup.system);
    systemAfter.erase("Tarvik.dll");
    EXPECT_TRUE(DescribeDifferences(systemBefore, systemAfter).empty());
}

TEST(ListableLib, EmptyIsRemovedWithSuccess) {
    Installation setup("dllinstall-emptylib");
    ExpectRemovedWithSuccess(setup);
}

TEST(ListableLib, WithoutDllsIsRemovedWithSuccess) {
    Installation setup("dllinstall-nodlls");
    WriteBytes(setup.lib / "readme.txt", "no libraries here");
    WriteBytes(setup.lib / "library.dllx", Filler(100, 1));
    WriteBytes(setup.lib / "dll", Filler(100, 2));
    WriteBytes(setup.lib / "nested" / "inner.dll", Filler(100, 3));
    fs::create_directories(setup.lib / "folder.dll");
    ExpectRemovedWithSuccess(setup);
}

} // namespace

// An existence check of Tarvik.dll that cannot tell is no "absent": the run fails before it
// touches LIB, and Tarvik.dll stays for the next run.
TEST(UnreadablePrimary, FailsTheRunWithEverythingKept) {
    Installation setup("dllinstall-unreadable-primary");
    WriteBytes(setup.lib / "a.dll", Filler(5000, 1));
    const Tree programBefore = Snapshot(setup.program, {kToolName});
    const RunResult run =
        setup.Run({{"DLLINSTALL_FAULT_PATH", (setup.program / "Tarvik.dll").string()},
                   {"DLLINSTALL_FAULT_MODE", "EIO"}},
                  true);
    EXPECT_EQ(run.status, 1) << Describe(run);
    EXPECT_EQ(run.out, "Starting installation procedure...\n"
                       "Error: Cannot copy from\r\n'" +
                           DosPath(setup.program) +
                           "\\Tarvik.dll'\r\nto the\r\n'C:\\windows\\system32\\Tarvik.dll'\n");
    EXPECT_EQ(DescribeDifferences(programBefore, Snapshot(setup.program, {kToolName})), "");
    EXPECT_FALSE(fs::exists(setup.system / "a.dll"));
}
