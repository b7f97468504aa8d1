// Copies land the same whichever way the kernel lets a finished copy get its name: older kernels
// refuse to link a descriptor, and some file systems have no unnamed files at all.
#include "installation.h"

#include <gtest/gtest.h>

namespace {

using namespace faultinject;
using testing_support::WriteBytes;

void ExpectEveryDllInstalled(const Installation& setup, const Environment& variant) {
    const std::string dlls[] = {"a.dll", "b.dll", "c.dll"};
    for (size_t i = 0; i < std::size(dlls); ++i)
        WriteBytes(setup.lib / dlls[i], Filler(3000 + 1000 * i, static_cast<unsigned>(i + 1)));
    const Tree libBefore = Snapshot(setup.lib);

    const RunResult run = setup.Run(variant, true);

    EXPECT_EQ(run.status, 0) << Describe(run);
    EXPECT_FALSE(fs::exists(setup.lib));
    for (const std::string& dll : dlls)
        EXPECT_EQ(Snapshot(setup.system).at(dll), libBefore.at(dll)) << dll;
    // Nothing but the installed files: no temporary copy is left behind.
    EXPECT_EQ(Snapshot(setup.system).size(), std::size(dlls) + 1) << run.out;
}

TEST(KernelVariants, ALinkOfTheDescriptorRefusedFallsBackToItsProcName) {
    Installation setup("dllinstall-link-refused");
    ExpectEveryDllInstalled(setup, {{"DLLINSTALL_FAULT_CALL", "linkat"},
                                    {"DLLINSTALL_FAULT_AT", "1"},
                                    {"DLLINSTALL_FAULT_MODE", "EPERM"}});
}

TEST(KernelVariants, NoUnnamedFilesFallsBackToANamedTemporary) {
    Installation setup("dllinstall-no-tmpfile");
    ExpectEveryDllInstalled(setup, {{"DLLINSTALL_FAULT_NO_TMPFILE", "1"}});
}

} // namespace
