// Scenarios of names: case, blanks, percent signs, non-ASCII letters and near-DLL names.
#include "expected_text.h"
#include "scenario_table.h"

namespace e2e {

namespace {

using namespace expected;

// Names are UTF-8 on disk and, with UTF-8 as the ANSI code page, in the log file too.
Scenario NonAsciiNames() {
    const std::string name = "Gr\u00FC\u00DFe.dll";
    return {
        .name = "non_ascii_names",
        .setup =
            [=](const Layout& l) { PutFixture(l.programFolder / "LIB" / name, "v1.0.0.0.dll"); },
        .console = {kStart, kCopying, Copied("LIB\\" + name, name), kDone},
        .systemFolder = {{name, "v1.0.0.0.dll"}},
        .programFolderName = "pr\u00F6gram",
        .needsUtf8 = true};
}

// A name too long for a MAX_PATH path in the system folder cannot be copied there.
Scenario NameTooLongForTheSystemFolder() {
    const std::string name = std::string(236, 'n') + ".dll";
    return {
        .name = "name_too_long_for_the_system_folder",
        .setup =
            [=](const Layout& l) { PutFixture(l.programFolder / "LIB" / name, "v1.0.0.0.dll"); },
        .status = 1,
        .console = {kStart, kCopying, CopyFailed("LIB\\" + name, name)},
        .log = std::nullopt,
        .programFolder = {{"LIB", kFolder}, {"LIB/" + name, "v1.0.0.0.dll"}}};
}

// Lower and upper case of one letter in scripts beyond Latin-1: Windows' upper-case table
// folds them to one name.
struct CasePair {
    const char* script;
    const char* lower;
    const char* upper;
};

constexpr CasePair kCasePairs[] = {
    {"fullwidth", "\uFF41", "\uFF21"},      {"latin_extended_b", "\u01DD", "\u018E"},
    {"armenian", "\u0561", "\u0531"},       {"georgian", "\u2D00", "\u10A0"},
    {"glagolitic", "\u2C30", "\u2C00"},     {"circled", "\u24D0", "\u24B6"},
    {"greek_extended", "\u1F00", "\u1F08"},
};

// A new lower-case DLL beside an installed upper-case one is that DLL: it replaces an older
// copy, which keeps its name, and gives way to a newer one.
Scenario InstalledCopyInOtherCaseOfScript(const CasePair& pair, bool installedIsNewer) {
    const std::string offered = std::string(pair.lower) + "x.dll";
    const std::string installed = std::string(pair.upper) + "X.DLL";
    const std::string installedVersion = installedIsNewer ? "v3.0.0.0.dll" : "v1.0.0.0.dll";
    std::vector<std::string> console = {kStart, kCopying};
    if (!installedIsNewer)
        console.push_back(Copied("LIB\\" + offered, offered));
    console.push_back(kDone);
    return {.name = std::string(installedIsNewer ? "newer" : "older") + "_installed_copy_in_" +
                    pair.script + "_upper_case",
            .setup = Given(
                {{"LIB/" + offered, "v2.0.0.0.dll"}, {"<sys>/" + installed, installedVersion}}),
            .console = console,
            .systemFolder = {{installed, installedIsNewer ? installedVersion : "v2.0.0.0.dll"}},
            .needsUtf8 = true};
}

} // namespace

std::vector<Scenario> NameScenarios() {
    std::vector<Scenario> scenarios = {
        // The installed copy is found whatever its case, and keeps its name when it is replaced.
        {.name = "installed_copy_in_other_case_is_replaced",
         .setup = Given({{"LIB/foo.dll", "v2.0.0.0.dll"}, {"<sys>/FOO.DLL", "v1.0.0.0.dll"}}),
         .console = {kStart, kCopying, Copied("LIB\\foo.dll", "foo.dll"), kDone},
         .systemFolder = {{"FOO.DLL", "v2.0.0.0.dll"}}},
        {.name = "newer_installed_copy_in_other_case_is_kept",
         .setup = Given({{"LIB/foo.dll", "v2.0.0.0.dll"}, {"<sys>/FOO.DLL", "v3.0.0.0.dll"}}),
         .console = {kStart, kCopying, kDone},
         .systemFolder = {{"FOO.DLL", "v3.0.0.0.dll"}}},
        {.name = "upper_case_extensions",
         .setup = Given({{"LIB/UP.DLL", "v1.0.0.0.dll"}, {"LIB/mixed.Dll", "v2.0.0.0.dll"}}),
         .console = {kStart, kCopying, Copied("LIB\\mixed.Dll", "mixed.Dll"),
                     Copied("LIB\\UP.DLL", "UP.DLL"), kDone},
         .systemFolder = {{"UP.DLL", "v1.0.0.0.dll"}, {"mixed.Dll", "v2.0.0.0.dll"}}},
        {.name = "names_with_blanks",
         .setup = Given({{"Tarvik.dll", "v2.0.0.0.dll"},
                         {"LIB/two  blanks.dll", "v1.0.0.0.dll"},
                         {"LIB/my lib.dll", "v2.5.0.0.dll"}}),
         .console = {kStart, Copied("Tarvik.dll", "Tarvik.dll"), kCopying,
                     Copied("LIB\\my lib.dll", "my lib.dll"),
                     Copied("LIB\\two  blanks.dll", "two  blanks.dll"), kDone},
         .systemFolder = {{"Tarvik.dll", "v2.0.0.0.dll"},
                          {"my lib.dll", "v2.5.0.0.dll"},
                          {"two  blanks.dll", "v1.0.0.0.dll"}},
         .programFolderName = "Program Files/Tarvik App"},
        // Paths are message arguments, never formats: a "%n" in them must come out as it is.
        {.name = "percent_signs_in_names",
         .setup = Given({{"LIB/%s%n%d.dll", "v1.0.0.0.dll"}}),
         .console = {kStart, kCopying, Copied("LIB\\%s%n%d.dll", "%s%n%d.dll"), kDone},
         .systemFolder = {{"%s%n%d.dll", "v1.0.0.0.dll"}},
         .programFolderName = "100%s%n prog"},
        NonAsciiNames(),
        // The layer matches "*.dll" against the long name only, as NTFS without 8.3 names does.
        {.name = "longer_extension_is_no_dll",
         .setup = Given({{"LIB/x.dllx", "v1.0.0.0.dll"}, {"LIB/a.dll", "v2.0.0.0.dll"}}),
         .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"), kDone},
         .systemFolder = {{"a.dll", "v2.0.0.0.dll"}},
         .linuxOnly = "Wine, like Windows on volumes with 8.3 names, also matches *.dll against "
                      "the short name X~1.DLL; the enumeration decides and the tool adds no "
                      "filter of its own"},
        // A name that is all extension is a DLL's name all the same.
        {.name = "name_that_is_only_an_extension",
         .setup = Given({{"LIB/.dll", "v1.0.0.0.dll"}}),
         .console = {kStart, kCopying, Copied("LIB\\.dll", ".dll"), kDone},
         .systemFolder = {{".dll", "v1.0.0.0.dll"}}},
        NameTooLongForTheSystemFolder(),
    };
    for (const CasePair& pair : kCasePairs) {
        scenarios.push_back(InstalledCopyInOtherCaseOfScript(pair, false));
        scenarios.push_back(InstalledCopyInOtherCaseOfScript(pair, true));
    }
    return scenarios;
}

} // namespace e2e
