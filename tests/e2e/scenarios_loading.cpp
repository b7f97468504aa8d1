// Scenarios of what the Windows build loads and which names it can spell: DLLs planted beside
// the tool are never loaded, even where Wine is told to prefer them, and names outside Wine's
// default ANSI code page arrive intact. The Linux build loads nothing and must agree.
#include "expected_text.h"
#include "scenario_table.h"
#include "test_support.h"

namespace e2e {

namespace {

using namespace expected;

// A copy of a DLL that marks its own loading with a file "<its name>.loaded" beside it.
fs::path PlantedDll(const std::string& architecture) {
    return fs::path(DLLINSTALL_RELEASE_PE_DIR) / architecture / "planted.dll";
}

// "n,b" makes Wine take SHFolder.dll from the program folder first, as Windows does for any DLL
// that is no KnownDLL; LIB offers a newer copy of an installed DLL, so that version.dll is used.
Scenario PlantedLibrariesAreNeverLoaded(const std::string& architecture) {
    return {.name = "planted_" + architecture + "_libraries_are_never_loaded",
            .setup =
                [architecture](const Layout& l) {
                    const std::string planted =
                        testing_support::ReadBytes(PlantedDll(architecture));
                    PutText(l.programFolder / "SHFolder.dll", planted);
                    PutText(l.programFolder / "version.dll", planted);
                    Given({{"LIB/shared.dll", "v2.0.0.0.dll"},
                           {"<sys>/shared.dll", "v1.0.0.0.dll"}})(l);
                },
            .console = {kStart, kCopying, Copied("LIB\\shared.dll", "shared.dll"), kDone},
            .systemFolder = {{"shared.dll", "v2.0.0.0.dll"}},
            .environment = {"WINEDLLOVERRIDES=shfolder=n,b"},
            .expectAtRun =
                [architecture](Scenario& s) {
                    const std::string label =
                        ContentLabel(testing_support::ReadBytes(PlantedDll(architecture)));
                    s.programFolder = {{"SHFolder.dll", label}, {"version.dll", label}};
                }};
}

// Under C.UTF-8 Wine gives programs the ANSI code page 1252, where a Greek name has no
// spelling; the manifest's activeCodePage makes the tool's "A" calls UTF-8, and every name fits.
Scenario NamesOutsideTheAnsiCodePage() {
    return {.name = "names_outside_the_default_ansi_code_page",
            .setup =
                Given({{"LIB/ünïcode.dll", "v1.0.0.0.dll"}, {"LIB/Ωμέγα.dll", "v1.0.0.0.dll"}}),
            .console = {kStart, kCopying, Copied("LIB\\ünïcode.dll", "ünïcode.dll"),
                        Copied("LIB\\Ωμέγα.dll", "Ωμέγα.dll"), kDone},
            .systemFolder = {{"ünïcode.dll", "v1.0.0.0.dll"}, {"Ωμέγα.dll", "v1.0.0.0.dll"}},
            .environment = {"LC_ALL=C.UTF-8"}};
}

} // namespace

std::vector<Scenario> LoadingScenarios() {
    return {PlantedLibrariesAreNeverLoaded("x86_64"), PlantedLibrariesAreNeverLoaded("i686"),
            NamesOutsideTheAnsiCodePage()};
}

} // namespace e2e
