// Scenarios of odd DLLs: files of no bytes, names that NTFS would take for one, and version
// resources that lie about their sizes. Each is copied as it is, without a crash.
#include "expected_text.h"
#include "lying_version.h"
#include "scenario_table.h"
#include "test_support.h"

namespace e2e {

namespace {

using namespace expected;

// A DLL of no bytes has no version: it is copied, and an installed one of no bytes is replaced.
Scenario DllsOfNoBytes() {
    return {.name = "dlls_of_no_bytes",
            .setup = Given({{"LIB/empty.dll", "text:"},
                            {"LIB/was_empty.dll", "text:not a PE file"},
                            {"<sys>/was_empty.dll", "text:"}}),
            .console = {kStart, kCopying, Copied("LIB\\empty.dll", "empty.dll"),
                        Copied("LIB\\was_empty.dll", "was_empty.dll"), kDone},
            .systemFolder = {{"empty.dll", "text:"}, {"was_empty.dll", "text:not a PE file"}}};
}

// Three names that NTFS would take for one are all copied onto the same file, in the same order
// whatever order the host lists them in: the first copy names the file, the later ones replace
// it and keep that name.
Scenario NamesDifferingOnlyInCase(const std::string& label, std::vector<std::string> created) {
    return {.name = "names_differing_only_in_case_made_" + label,
            .setup =
                [created](const Layout& l) {
                    for (const std::string& name : created)
                        PutText(l.programFolder / "LIB" / name, name);
                },
            .console = {kStart, kCopying, Copied("LIB\\DUP.dll", "DUP.dll"),
                        Copied("LIB\\Dup.dll", "Dup.dll"), Copied("LIB\\dup.dll", "dup.dll"),
                        kDone},
            .systemFolder = {{"DUP.dll", "text:dup.dll"}},
            .linuxOnly = "Wine 8 lists a host folder's names in the host's order"};
}

// The variants of a fixture's version resource that lie about a size, each offered new, over an
// installed v1.0.0.0 copy, and as v2.0.0.0 over an installed variant: all are copied.
Scenario VersionResourcesThatLie() {
    std::vector<std::string> names;
    for (const std::string& variant : LyingVersionNames())
        for (const char* use : {"new_", "over_", "under_"})
            names.push_back(use + variant + ".dll");
    return {.name = "version_resources_that_lie",
            .setup =
                [](const Layout& l) {
                    const fs::path lib = l.programFolder / "LIB";
                    for (const auto& [name, bytes] : LyingVersions(FixtureBytes("v2.0.0.0.dll"))) {
                        PutText(lib / ("new_" + name + ".dll"), bytes);
                        PutText(lib / ("over_" + name + ".dll"), bytes);
                        PutFixture(l.systemFolder / ("over_" + name + ".dll"), "v1.0.0.0.dll");
                    }
                    for (const auto& [name, bytes] : LyingVersions(FixtureBytes("v1.0.0.0.dll"))) {
                        PutFixture(lib / ("under_" + name + ".dll"), "v2.0.0.0.dll");
                        PutText(l.systemFolder / ("under_" + name + ".dll"), bytes);
                    }
                },
            .console = ConsoleCopyingInNtfsOrder(names),
            .linuxOnly =
                "the Windows build reads versions through Wine's version.dll, which faults on "
                "some of these resources",
            .expectAtRun =
                [](Scenario& s) {
                    for (const auto& [name, bytes] : LyingVersions(FixtureBytes("v2.0.0.0.dll"))) {
                        s.systemFolder["new_" + name + ".dll"] = ContentLabel(bytes);
                        s.systemFolder["over_" + name + ".dll"] = ContentLabel(bytes);
                        s.systemFolder["under_" + name + ".dll"] = "v2.0.0.0.dll";
                    }
                }};
}

} // namespace

std::vector<Scenario> OddEntryScenarios() {
    return {DllsOfNoBytes(),
            NamesDifferingOnlyInCase("lower_first", {"dup.dll", "DUP.dll", "Dup.dll"}),
            NamesDifferingOnlyInCase("upper_first", {"Dup.dll", "DUP.dll", "dup.dll"}),
            VersionResourcesThatLie()};
}

} // namespace e2e
