// Scenarios at the limits: module paths and destinations at MAX_PATH, and thousands of DLLs.
// What fits is installed; what does not fails the run with LIB kept, so that nothing is lost.
#include "expected_text.h"
#include "scenario_table.h"
#include "test_support.h"

#include <cstdio>

namespace e2e {

namespace {

using namespace expected;

constexpr const char* kModuleLength = "the module path's length is the Linux build's; that of "
                                      "dllinstall.exe is four characters longer";
constexpr const char* kOwnDrive = "the program folder is a drive of its own, which the suite's "
                                  "Wine prefix does not have";
constexpr size_t kToolNameLength = 10; // "dllinstall"

// The program folder whose "\dllinstall" is a module path of `length` characters; two names
// deep, since no host name is longer than 255 bytes.
Scenario AtModulePathLength(size_t length, Scenario scenario) {
    scenario.name += "_" + std::to_string(length);
    scenario.programFolderName = std::string(40, 'd') + "/prog";
    scenario.programFolderLength = length - kToolNameLength;
    scenario.linuxOnly = kModuleLength;
    return scenario;
}

// The log's path is 8 characters longer than the module path: the "A" file calls refuse it,
// and the tool writes its log best effort, as on Windows.
Scenario FittingModulePathInstallsWithoutALog(size_t length) {
    return AtModulePathLength(
        length, {.name = "module_path_fits_but_not_the_log",
                 .setup = Given({{"Tarvik.dll", "v2.0.0.0.dll"}, {"LIB/a.dll", "v1.0.0.0.dll"}}),
                 .console = {kStart, Copied("Tarvik.dll", "Tarvik.dll"), kCopying,
                             Copied("LIB\\a.dll", "a.dll"), kDone},
                 .log = std::nullopt,
                 .systemFolder = {{"Tarvik.dll", "v2.0.0.0.dll"}, {"a.dll", "v1.0.0.0.dll"}}});
}

// LIB\abcd.dll is MAX_PATH or longer below such a folder, while LIB\a.dll is not.
Scenario FittingModulePathWithADllPastTheLimit(size_t length) {
    const Tree lib = {
        {"LIB", kFolder}, {"LIB/a.dll", "v1.0.0.0.dll"}, {"LIB/abcd.dll", "v2.0.0.0.dll"}};
    return AtModulePathLength(length, {.name = "module_path_fits_but_not_a_dll_path",
                                       .setup = Given(lib),
                                       .status = 1,
                                       .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"),
                                                   CopyFailed("LIB\\abcd.dll", "abcd.dll")},
                                       .log = std::nullopt,
                                       .systemFolder = {{"a.dll", "v1.0.0.0.dll"}},
                                       .programFolder = lib});
}

// 259 characters and the terminator fill MAX_PATH exactly, which the tool still accepts.
Scenario TooLongModulePathIsRefused(size_t length) {
    const Tree given = {{"Tarvik.dll", "v2.0.0.0.dll"}, {"LIB/a.dll", "v1.0.0.0.dll"}};
    Tree program = given;
    program["LIB"] = kFolder;
    return AtModulePathLength(length, {.name = "module_path_too_long",
                                       .setup = Given(given),
                                       .status = 1,
                                       .console = {kStart, kNoTargetPath},
                                       .log = std::nullopt,
                                       .programFolder = program});
}

// The program folder is the root of drive P:, so that "P:\LIB\<name>" is shorter than the
// destination "C:\windows\system32\<name>" and the destination alone meets the limit.
std::string NameForDestination(size_t length) {
    return std::string(length - std::string("C:\\windows\\system32\\").size() - 4, 'n') + ".dll";
}

void MakeProgramFolderDriveP(const Layout& l) {
    const fs::path devices =
        l.systemFolder.parent_path().parent_path().parent_path() / "dosdevices";
    PutLink(devices / "c:", "../drive_c");
    PutLink(devices / "p:", l.programFolder);
}

Scenario DestinationAtLength(size_t length, const std::string& label, bool newerInstalled) {
    const std::string name = NameForDestination(length);
    const bool fits = length < 260;
    Tree given = {{"LIB/" + name, newerInstalled || !fits ? "v3.0.0.0.dll" : "v1.0.0.0.dll"}};
    if (newerInstalled)
        given["<sys>/" + name] = fits ? "v3.0.0.0.dll" : "v1.0.0.0.dll";
    if (fits && newerInstalled)
        given["LIB/" + name] = "v1.0.0.0.dll";
    const std::string from = "'P:\\LIB\\" + name + "'", to = "'<sys>\\" + name + "'";
    Scenario scenario = {.name = "destination_of_" + std::to_string(length) + "_" + label,
                         .setup =
                             [given](const Layout& l) {
                                 MakeProgramFolderDriveP(l);
                                 Given(given)(l);
                             },
                         .console = {kStart, kCopying},
                         .linuxOnly = kOwnDrive};
    if (newerInstalled)
        scenario.systemFolder[name] = given["<sys>/" + name];
    if (!fits) {
        scenario.status = 1;
        scenario.console.push_back("Error: Cannot copy from\r\n" + from + "\r\nto the\r\n" + to);
        scenario.programFolder = {{"LIB", kFolder}, {"LIB/" + name, "v3.0.0.0.dll"}};
        scenario.log = std::nullopt;
        return scenario;
    }
    if (!newerInstalled) {
        scenario.console.push_back("Copy from " + from + "\r\nto " + to);
        scenario.systemFolder[name] = "v1.0.0.0.dll";
    }
    scenario.console.push_back(kDone);
    return scenario;
}

constexpr int kManyDlls = 3000;

// Names whose order differs between NTFS and bytes.
std::string ManyDllName(int i) {
    static const char* const kPrefixes[] = {"ma", "MB", "m_"};
    char name[32];
    std::snprintf(name, sizeof name, "%s%04d.dll", kPrefixes[i % 3], i);
    return name;
}

std::string ManyDllBytes(int i) {
    return testing_support::Filler(64 + static_cast<size_t>(i % 7) * 150, static_cast<unsigned>(i));
}

// Every one of thousands of DLLs is installed, in the order NTFS lists them, and LIB goes.
Scenario ThousandsOfDlls() {
    std::vector<std::string> names;
    for (int i = 0; i < kManyDlls; ++i)
        names.push_back(ManyDllName(i));
    Scenario scenario = {.name = "thousands_of_dlls_in_ntfs_order",
                         .setup =
                             [](const Layout& l) {
                                 for (int i = 0; i < kManyDlls; ++i)
                                     PutText(l.programFolder / "LIB" / ManyDllName(i),
                                             ManyDllBytes(i));
                             },
                         .console = ConsoleCopyingInNtfsOrder(names),
                         .deadline = std::chrono::seconds(300)};
    for (int i = 0; i < kManyDlls; ++i)
        scenario.systemFolder[names[i]] = ContentLabel(ManyDllBytes(i));
    return scenario;
}

} // namespace

std::vector<Scenario> LimitScenarios() {
    std::vector<Scenario> all;
    for (const size_t length : {258, 259}) {
        all.push_back(FittingModulePathInstallsWithoutALog(length));
        all.push_back(FittingModulePathWithADllPastTheLimit(length));
        all.push_back(DestinationAtLength(length, "is_installed", false));
        all.push_back(DestinationAtLength(length, "keeps_a_newer_installed_copy", true));
    }
    // A host name has at most 255 bytes, so no destination can be longer than 275 characters.
    for (const size_t length : {260, 300})
        all.push_back(TooLongModulePathIsRefused(length));
    for (const size_t length : {260, 275}) {
        all.push_back(DestinationAtLength(length, "fails_with_library_folder_kept", false));
        all.push_back(DestinationAtLength(length, "fails_with_both_copies_kept", true));
    }
    all.push_back(ThousandsOfDlls());
    return all;
}

} // namespace e2e
