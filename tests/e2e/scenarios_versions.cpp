// Scenarios of the version guard: an installed copy is kept only when its ProductVersion
// ranks strictly higher than the one offered.
#include "expected_text.h"
#include "scenario.h"

namespace e2e {

namespace {

using namespace expected;

// Offers LIB\<name> with the bytes of one fixture over an installed copy with those of another.
Scenario OfferOverInstalled(const std::string& scenarioName, const std::string& name,
                            const std::string& offered, const std::string& installed) {
    return {.name = scenarioName, .setup = [=](const Layout& l) {
                PutFixture(l.programFolder / "LIB" / name, offered);
                PutFixture(l.systemFolder / name, installed);
            }};
}

Scenario InstalledCopyKept(const std::string& scenarioName, const std::string& offered,
                           const std::string& installed) {
    Scenario scenario = OfferOverInstalled(scenarioName, "foo.dll", offered, installed);
    scenario.console = {kStart, kCopying, kDone};
    scenario.log = LogOf(scenario.console);
    scenario.systemFolder = {{"foo.dll", installed}};
    return scenario;
}

Scenario InstalledCopyReplaced(const std::string& scenarioName, const std::string& offered,
                               const std::string& installed) {
    Scenario scenario = OfferOverInstalled(scenarioName, "foo.dll", offered, installed);
    scenario.console = {kStart, kCopying, Copied("LIB\\foo.dll", "foo.dll"), kDone};
    scenario.log = LogOf(scenario.console);
    scenario.systemFolder = {{"foo.dll", offered}};
    return scenario;
}

// A file that is no PE image at all has no version, and so is installed.
Scenario NonPeOfferedCopyIsInstalled() {
    const std::vector<std::string> messages = {kStart, kCopying, Copied("LIB\\foo.dll", "foo.dll"),
                                               kDone};
    return {.name = "non_pe_offered_copy_is_installed",
            .setup =
                [](const Layout& l) {
                    PutText(l.programFolder / "LIB" / "foo.dll", "MZ but no more");
                    PutFixture(l.systemFolder / "foo.dll", "v3.0.0.0.dll");
                },
            .console = messages,
            .log = LogOf(messages),
            .systemFolder = {{"foo.dll", "text:MZ but no more"}}};
}

// A whole product: the primary library, one DLL replacing an older copy, one kept
// behind a newer copy, one new.
Scenario FullInstallation() {
    const std::vector<std::string> messages = {kStart,
                                               Copied("Tarvik.dll", "Tarvik.dll"),
                                               kCopying,
                                               Copied("LIB\\alpha.dll", "alpha.dll"),
                                               Copied("LIB\\gamma.dll", "gamma.dll"),
                                               kDone};
    return {.name = "full_installation",
            .setup =
                [](const Layout& l) {
                    PutFixture(l.programFolder / "Tarvik.dll", "v2.0.0.0.dll");
                    PutFixture(l.programFolder / "LIB" / "alpha.dll", "v2.0.0.0.dll");
                    PutFixture(l.programFolder / "LIB" / "beta.dll", "v1.0.0.0.dll");
                    PutFixture(l.programFolder / "LIB" / "gamma.dll", "v2.5.0.0.dll");
                    PutFixture(l.systemFolder / "alpha.dll", "v1.0.0.0.dll");
                    PutFixture(l.systemFolder / "beta.dll", "v3.0.0.0.dll");
                },
            .console = messages,
            .log = LogOf(messages),
            .systemFolder = {{"Tarvik.dll", "v2.0.0.0.dll"},
                             {"alpha.dll", "v2.0.0.0.dll"},
                             {"beta.dll", "v3.0.0.0.dll"},
                             {"gamma.dll", "v2.5.0.0.dll"}}};
}

} // namespace

std::vector<Scenario> VersionScenarios() {
    return {
        InstalledCopyKept("newer_installed_copy_is_kept", "v2.0.0.0.dll", "v3.0.0.0.dll"),
        InstalledCopyKept("installed_copy_newer_by_fourth_number_is_kept", "v1.2.3.4.dll",
                          "v1.2.3.5.dll"),
        InstalledCopyKept("versions_rank_by_number_not_text", "v2.5.0.0.dll", "v10.0.0.0.dll"),
        InstalledCopyReplaced("older_installed_copy_is_replaced", "v1.2.3.5.dll", "v1.2.3.4.dll"),
        InstalledCopyReplaced("older_installed_copy_by_text_is_replaced", "v10.0.0.0.dll",
                              "v2.5.0.0.dll"),
        // The same ProductVersion in a PE32 build: equal ranks are installed again.
        InstalledCopyReplaced("equal_installed_copy_is_replaced", "v1.2.3.4.dll",
                              "pe32_v1.2.3.4.dll"),
        InstalledCopyReplaced("numbers_after_the_fourth_do_not_count", "v1.2.3.4.dll",
                              "v1.2.3.4.9.dll"),
        // "1.2" ranks like "1.2.2.2", so above 1.2.1.0.
        InstalledCopyReplaced("short_version_repeats_its_last_number", "v1.2.dll", "v1.2.1.0.dll"),
        InstalledCopyReplaced("unversioned_offered_copy_is_installed", "unversioned.dll",
                              "v3.0.0.0.dll"),
        InstalledCopyReplaced("unversioned_installed_copy_is_replaced", "v1.0.0.0.dll",
                              "unversioned.dll"),
        NonPeOfferedCopyIsInstalled(),
        FullInstallation(),
    };
}

} // namespace e2e
