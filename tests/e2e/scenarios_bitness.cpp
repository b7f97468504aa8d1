// Scenarios of DLLs of both bitnesses in a 64-bit prefix: each goes where a program of its own
// bitness loads it from, a 32-bit one into syswow64, while the console and the log name
// C:\windows\system32, as the 32-bit tool shows it on 64-bit Windows.
#include "expected_text.h"
#include "scenario_table.h"

namespace e2e {

namespace {

using namespace expected;

// The Windows builds each put every DLL into the one folder their own bitness sees; the 32-bit
// build's runs compare the 32-bit cases with the Linux build's.
constexpr const char* kSplitOnlyLinux = "only the Linux build takes each DLL's own bitness; "
                                        "each Windows build installs into the folder of its own";

Scenario ThirtyTwoBitDllsGoToSyswow64(bool prefixHasSyswow64) {
    const Tree installed = {{"Tarvik.dll", "pe32_v1.2.3.4.dll"}, {"a.dll", "pe32_v1.2.3.4.dll"}};
    return {.name = prefixHasSyswow64 ? "pe32_dlls_go_to_syswow64"
                                      : "pe32_dlls_go_to_system32_without_syswow64",
            .setup =
                Given({{"Tarvik.dll", "pe32_v1.2.3.4.dll"}, {"LIB/a.dll", "pe32_v1.2.3.4.dll"}}),
            .console = {kStart, Copied("Tarvik.dll", "Tarvik.dll"), kCopying,
                        Copied("LIB\\a.dll", "a.dll"), kDone},
            .systemFolder = prefixHasSyswow64 ? Tree{} : installed,
            .linuxOnly = kSplitOnlyLinux,
            .withWow64 = prefixHasSyswow64,
            .wow64Folder = prefixHasSyswow64 ? installed : Tree{}};
}

// PE32 files into syswow64; PE32+ files and what is no PE image into system32.
Scenario MixedLibraryFolderSplitsByBitness() {
    return {.name = "mixed_library_folder_splits_by_bitness",
            .setup =
                [](const Layout& l) {
                    const fs::path lib = l.programFolder / "LIB";
                    PutFixture(lib / "a32.dll", "pe32_v1.2.3.4.dll");
                    PutFixture(lib / "b64.dll", "v1.0.0.0.dll");
                    PutFixture(lib / "c32.dll", "pe32_version_two_translations.dll");
                    PutFixture(lib / "d64.dll", "unversioned.dll");
                    PutText(lib / "text.dll", "not a PE image");
                },
            .console = {kStart, kCopying, Copied("LIB\\a32.dll", "a32.dll"),
                        Copied("LIB\\b64.dll", "b64.dll"), Copied("LIB\\c32.dll", "c32.dll"),
                        Copied("LIB\\d64.dll", "d64.dll"), Copied("LIB\\text.dll", "text.dll"),
                        kDone},
            .systemFolder = {{"b64.dll", "v1.0.0.0.dll"},
                             {"d64.dll", "unversioned.dll"},
                             {"text.dll", "text:not a PE image"}},
            .linuxOnly = kSplitOnlyLinux,
            .withWow64 = true,
            .wow64Folder = {{"a32.dll", "pe32_v1.2.3.4.dll"},
                            {"c32.dll", "pe32_version_two_translations.dll"}}};
}

// The version guard of a 32-bit DLL looks at the copy in syswow64, never at the 64-bit one of
// the same name in system32.
Scenario GuardComparesWithTheCopyInSyswow64(bool newerIn32BitFolder) {
    const std::string in32 = newerIn32BitFolder ? "v3.0.0.0.dll" : "v1.0.0.0.dll";
    const std::string in64 = newerIn32BitFolder ? "v1.0.0.0.dll" : "v3.0.0.0.dll";
    std::vector<std::string> messages = {kStart, kCopying};
    if (!newerIn32BitFolder)
        messages.push_back(Copied("LIB\\a.dll", "a.dll"));
    messages.push_back(kDone);
    return {.name = newerIn32BitFolder ? "newer_copy_in_syswow64_is_kept"
                                       : "older_copy_in_syswow64_is_replaced",
            .setup =
                [in32, in64](const Layout& l) {
                    PutFixture(l.programFolder / "LIB" / "a.dll", "pe32_v1.2.3.4.dll");
                    PutFixture(l.wow64Folder / "a.dll", in32);
                    PutFixture(l.systemFolder / "a.dll", in64);
                },
            .console = messages,
            .log = LogOf(messages),
            .systemFolder = {{"a.dll", in64}},
            .linuxOnly = kSplitOnlyLinux,
            .withWow64 = true,
            .wow64Folder = {{"a.dll", newerIn32BitFolder ? in32 : "pe32_v1.2.3.4.dll"}}};
}

// Case twins of each bitness in LIB: each DLL's folder and version guard follow that DLL, never
// its twin, which the listing has already read as the next entry.
Scenario CaseTwinsOfEachBitness(bool upperIsThirtyTwoBit) {
    const std::string upper = upperIsThirtyTwoBit ? "pe32_v1.2.3.4.dll" : "v1.0.0.0.dll";
    const std::string lower = upperIsThirtyTwoBit ? "v1.0.0.0.dll" : "pe32_v1.2.3.4.dll";
    const Tree newerInstalled = {{"X.DLL", "v3.0.0.0.dll"}};
    const Tree lowerCopied = {{"x.dll", lower}};
    return {.name = upperIsThirtyTwoBit ? "case_twins_32_bit_upper_kept_by_newer_in_syswow64"
                                        : "case_twins_64_bit_upper_kept_by_newer_in_system32",
            .setup =
                [=](const Layout& l) {
                    PutFixture(l.programFolder / "LIB" / "X.DLL", upper);
                    PutFixture(l.programFolder / "LIB" / "x.dll", lower);
                    PutFixture((upperIsThirtyTwoBit ? l.wow64Folder : l.systemFolder) / "X.DLL",
                               "v3.0.0.0.dll");
                },
            .console = {kStart, kCopying, Copied("LIB\\x.dll", "x.dll"), kDone},
            .systemFolder = upperIsThirtyTwoBit ? lowerCopied : newerInstalled,
            .linuxOnly = kSplitOnlyLinux,
            .withWow64 = true,
            .wow64Folder = upperIsThirtyTwoBit ? newerInstalled : lowerCopied};
}

} // namespace

std::vector<Scenario> BitnessScenarios() {
    return {ThirtyTwoBitDllsGoToSyswow64(true),
            ThirtyTwoBitDllsGoToSyswow64(false),
            MixedLibraryFolderSplitsByBitness(),
            GuardComparesWithTheCopyInSyswow64(true),
            GuardComparesWithTheCopyInSyswow64(false),
            CaseTwinsOfEachBitness(false),
            CaseTwinsOfEachBitness(true)};
}

} // namespace e2e
