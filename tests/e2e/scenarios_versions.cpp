// Scenarios of the version guard: an installed copy is kept only when its ProductVersion
// ranks strictly higher than the one offered.
#include "expected_text.h"
#include "scenario_table.h"
#include "version_generator.h"

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
    scenario.systemFolder = {{"foo.dll", installed}};
    return scenario;
}

Scenario InstalledCopyReplaced(const std::string& scenarioName, const std::string& offered,
                               const std::string& installed) {
    Scenario scenario = OfferOverInstalled(scenarioName, "foo.dll", offered, installed);
    scenario.console = {kStart, kCopying, Copied("LIB\\foo.dll", "foo.dll"), kDone};
    scenario.systemFolder = {{"foo.dll", offered}};
    return scenario;
}

// Why the Windows build does not run a malformed DLL under Wine: Windows reads it as having no
// version, and so does the Linux build, which copies; Wine 8's own reader faults instead.
const std::string kWineVersionReaderFaults =
    "Wine 8's GetFileVersionInfoExW faults on this malformed DLL (a resource data RVA of "
    "0xFFFFFFFF, a VS_VERSIONINFO length of 0xFFFF), so the Windows build under Wine exits with "
    "a page fault where the Linux build reads no version and copies";

Scenario UnderWineTheReaderFaults(Scenario scenario) {
    scenario.linuxOnly = kWineVersionReaderFaults;
    return scenario;
}

// The Linux build's user languages are English (US) and English; Wine's, under the ka_GE.UTF-8
// locale that gives it a UTF-8 ANSI code page for these runs, are Georgian ones.
Scenario UnderWineTheUserIsGeorgian(Scenario scenario, const std::string& what) {
    scenario.linuxOnly =
        "Wine runs here under ka_GE.UTF-8, whose user language is Georgian: " + what;
    return scenario;
}

// A DLL of version 1.0.0.0 in a shape the Windows loader and VerQueryValue read without
// trouble, offered over an installed 3.0.0.0: both builds read it, and keep the installed copy.
Scenario OlderCopyInShapeIsNotInstalled(const std::string& shape) {
    const std::string bytes = differential::ShapedDll(shape, "1.0.0.0");
    return {.name = "older_copy_with_" + shape + "_is_not_installed",
            .setup =
                [bytes](const Layout& l) {
                    PutText(l.programFolder / "LIB" / "foo.dll", bytes);
                    PutFixture(l.systemFolder / "foo.dll", "v3.0.0.0.dll");
                },
            .console = {kStart, kCopying, kDone},
            .systemFolder = {{"foo.dll", "v3.0.0.0.dll"}}};
}

// A version block whose root claims far more than its resource holds is malformed: no version,
// so the copy goes ahead over the newer installed copy, on both builds (Wine's own
// VerQueryValueA would write past the block and fault).
Scenario CopyWithLyingBlockLengthIsInstalled() {
    const std::string bytes = differential::ShapedDll("lying_block_length", "1.0.0.0");
    return {.name = "copy_whose_version_block_claims_more_than_its_resource_is_installed",
            .setup =
                [bytes](const Layout& l) {
                    PutText(l.programFolder / "LIB" / "foo.dll", bytes);
                    PutFixture(l.systemFolder / "foo.dll", "v3.0.0.0.dll");
                },
            .console = {kStart, kCopying, Copied("LIB\\foo.dll", "foo.dll"), kDone},
            .systemFolder = {{"foo.dll", ContentLabel(bytes)}}};
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
        // A file that is no PE image at all has no version, and so is installed.
        {.name = "non_pe_offered_copy_is_installed",
         .setup =
             Given({{"LIB/foo.dll", "text:MZ but no more"}, {"<sys>/foo.dll", "v3.0.0.0.dll"}}),
         .console = {kStart, kCopying, Copied("LIB\\foo.dll", "foo.dll"), kDone},
         .systemFolder = {{"foo.dll", "text:MZ but no more"}}},
        // A whole product: the primary library, one DLL replacing an older copy, one kept
        // behind a newer copy, one new.
        {.name = "full_installation",
         .setup = Given({{"Tarvik.dll", "v2.0.0.0.dll"},
                         {"LIB/alpha.dll", "v2.0.0.0.dll"},
                         {"LIB/beta.dll", "v1.0.0.0.dll"},
                         {"LIB/gamma.dll", "v2.5.0.0.dll"},
                         {"<sys>/alpha.dll", "v1.0.0.0.dll"},
                         {"<sys>/beta.dll", "v3.0.0.0.dll"}}),
         .console = {kStart, Copied("Tarvik.dll", "Tarvik.dll"), kCopying,
                     Copied("LIB\\alpha.dll", "alpha.dll"), Copied("LIB\\gamma.dll", "gamma.dll"),
                     kDone},
         .systemFolder = {{"Tarvik.dll", "v2.0.0.0.dll"},
                          {"alpha.dll", "v2.0.0.0.dll"},
                          {"beta.dll", "v3.0.0.0.dll"},
                          {"gamma.dll", "v2.5.0.0.dll"}}},
        // Which version resource is read: id 1 only; neutral, then English (US) and English,
        // then the first listed. Each installed copy would be kept (9.0) or replaced (1.0, none)
        // otherwise.
        InstalledCopyKept("english_us_version_is_read_before_german", "v2.0.0.0.dll",
                          "version_lang_german_english.dll"),
        InstalledCopyReplaced("neutral_version_is_read_before_english_us", "v2.0.0.0.dll",
                              "version_lang_neutral_english.dll"),
        InstalledCopyKept("only_language_is_read_whatever_it_is", "v2.0.0.0.dll",
                          "version_lang_french_only.dll"),
        InstalledCopyReplaced("first_listed_language_is_read_not_first_written", "v2.0.0.0.dll",
                              "version_lang_unsorted.dll"),
        InstalledCopyReplaced("english_uk_version_is_not_english_us", "v2.0.0.0.dll",
                              "version_lang_british_german.dll"),
        InstalledCopyKept("neutral_default_sublanguage_version_is_read_first", "v2.0.0.0.dll",
                          "version_lang_default_german.dll"),
        InstalledCopyReplaced("version_resource_numbered_2_is_no_version", "v2.0.0.0.dll",
                              "version_id2.dll"),
        InstalledCopyReplaced("version_resource_named_by_a_string_is_no_version", "v2.0.0.0.dll",
                              "version_named.dll"),
        InstalledCopyReplaced("only_version_resource_1_is_read", "v2.0.0.0.dll",
                              "version_named_and_id1.dll"),
        InstalledCopyReplaced("offered_copy_with_only_version_resource_2_is_installed",
                              "version_id2.dll", "v10.0.0.0.dll"),
        InstalledCopyReplaced("offered_english_us_version_is_read_before_german",
                              "version_lang_german_english.dll", "v2.0.0.0.dll"),
        UnderWineTheUserIsGeorgian(
            InstalledCopyReplaced("georgian_version_is_no_language_of_the_user", "v2.0.0.0.dll",
                                  "version_lang_georgian_german.dll"),
            "it reads the Georgian 9.0 version resource where English (US) reads German 1.0"),
        UnderWineTheUserIsGeorgian(
            InstalledCopyKept("english_without_a_country_is_the_users_language_too", "v2.0.0.0.dll",
                              "version_lang_neutral_sublanguages.dll"),
            "it reads German 1.0, listed first, where English (US) reads English 9.0"),
        // Malformed DLLs read as having no version.
        UnderWineTheReaderFaults(InstalledCopyReplaced(
            "installed_copy_with_resource_data_rva_past_the_image_is_replaced", "v1.0.0.0.dll",
            "version_bad_data_rva.dll")),
        UnderWineTheReaderFaults(
            InstalledCopyReplaced("offered_copy_with_version_length_past_its_resource_is_installed",
                                  "version_bad_root_length.dll", "v3.0.0.0.dll")),
        // The resource lookup walks the path as the loader does, and reads the image as mapped.
        OlderCopyInShapeIsNotInstalled("ids_with_high_bits"),
        OlderCopyInShapeIsNotInstalled("unrelated_malformed_node"),
        OlderCopyInShapeIsNotInstalled("deep_unrelated_subtree"),
        OlderCopyInShapeIsNotInstalled("zero_fill"),
        OlderCopyInShapeIsNotInstalled("data_in_the_headers"),
        CopyWithLyingBlockLengthIsInstalled(),
    };
}

} // namespace e2e
