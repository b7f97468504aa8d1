// Scenarios of the primary library, the log file and the program folder itself.
#include "expected_text.h"
#include "scenario_table.h"

namespace e2e {

namespace {

using namespace expected;

// Names are case-insensitive: the older log file is replaced and keeps its name.
Scenario OlderLogInOtherCaseIsReplaced() {
    const std::vector<std::string> messages = {kStart, kNoLibraryFolder, kDone};
    return {.name = "older_log_in_other_case_is_replaced",
            .setup =
                [](const Layout& l) {
                    PutText(l.programFolder / "installlog_dll.txt", kOlderLog + kOlderLog);
                },
            .console = messages,
            .log = std::nullopt,
            .programFolder = {{"installlog_dll.txt", "text:" + LogOf(messages)}}};
}

} // namespace

std::vector<Scenario> PrimaryLibraryScenarios() {
    return {
        {.name = "only_the_executable",
         .setup = [](const Layout&) {},
         .console = {kStart, kNoLibraryFolder, kDone}},
        {.name = "primary_library_moved",
         .setup = Given({{"Tarvik.dll", "v2.0.0.0.dll"}}),
         .console = {kStart, Copied("Tarvik.dll", "Tarvik.dll"), kNoLibraryFolder, kDone},
         .systemFolder = {{"Tarvik.dll", "v2.0.0.0.dll"}}},
        // The primary library has no version guard: the product's own copy always wins.
        {.name = "primary_library_replaces_newer_installed_copy",
         .setup = Given({{"Tarvik.dll", "v1.0.0.0.dll"}, {"<sys>/Tarvik.dll", "v3.0.0.0.dll"}}),
         .console = {kStart, Copied("Tarvik.dll", "Tarvik.dll"), kNoLibraryFolder, kDone},
         .systemFolder = {{"Tarvik.dll", "v1.0.0.0.dll"}}},
        // The primary library is found whatever its case; installed, it takes the name it ships
        // under.
        {.name = "primary_library_in_other_case",
         .setup = Given({{"tarvik.DLL", "v2.0.0.0.dll"}}),
         .console = {kStart, Copied("Tarvik.dll", "Tarvik.dll"), kNoLibraryFolder, kDone},
         .systemFolder = {{"Tarvik.dll", "v2.0.0.0.dll"}}},
        // A primary library that is a link installs the bytes it points to; only the link goes.
        {.name = "primary_library_is_a_link",
         .setup =
             Given({{"<out>/real.dll", "v2.5.0.0.dll"}, {"Tarvik.dll", "-> <out-host>real.dll"}}),
         .console = {kStart, Copied("Tarvik.dll", "Tarvik.dll"), kNoLibraryFolder, kDone},
         .systemFolder = {{"Tarvik.dll", "v2.5.0.0.dll"}},
         .outsideFolder = {{"real.dll", "v2.5.0.0.dll"}},
         .linuxOnly = kLinks},
        {.name = "second_run_has_nothing_left_to_do",
         .setup = Given({{"Tarvik.dll", "v2.0.0.0.dll"}, {"LIB/a.dll", "v1.0.0.0.dll"}}),
         .console = {kStart, kNoLibraryFolder, kDone},
         .systemFolder = {{"Tarvik.dll", "v2.0.0.0.dll"}, {"a.dll", "v1.0.0.0.dll"}},
         .runs = 2},
        {.name = "primary_library_name_taken_by_folder",
         .setup = Given({{"Tarvik.dll/inner.txt", "text:inner"}, {"LIB/a.dll", "v1.0.0.0.dll"}}),
         .status = 1,
         .console = {kStart, CopyFailed("Tarvik.dll", "Tarvik.dll")},
         .log = std::nullopt,
         .programFolder = {{"Tarvik.dll", kFolder},
                           {"Tarvik.dll/inner.txt", "text:inner"},
                           {"LIB", kFolder},
                           {"LIB/a.dll", "v1.0.0.0.dll"}}},
        {.name = "installed_primary_library_name_taken_by_folder",
         .setup =
             [](const Layout& l) {
                 PutText(l.programFolder / "InstallLog_DLL.txt", kOlderLog);
                 PutFixture(l.programFolder / "Tarvik.dll", "v2.0.0.0.dll");
                 PutFixture(l.programFolder / "LIB" / "a.dll", "v1.0.0.0.dll");
                 PutFolder(l.systemFolder / "Tarvik.dll");
             },
         .status = 1,
         .console = {kStart, CopyFailed("Tarvik.dll", "Tarvik.dll")},
         .log = kOlderLog,
         .systemFolder = {{"Tarvik.dll", kFolder}},
         .programFolder = {{"Tarvik.dll", "v2.0.0.0.dll"},
                           {"LIB", kFolder},
                           {"LIB/a.dll", "v1.0.0.0.dll"}}},
        {.name = "read_only_installed_primary_library",
         .setup =
             [](const Layout& l) {
                 PutFixture(l.programFolder / "Tarvik.dll", "v2.0.0.0.dll");
                 PutFixture(l.systemFolder / "Tarvik.dll", "v1.0.0.0.dll");
                 MakeReadOnly(l.systemFolder / "Tarvik.dll");
             },
         .status = 1,
         .console = {kStart, CopyFailed("Tarvik.dll", "Tarvik.dll")},
         .log = std::nullopt,
         .systemFolder = {{"Tarvik.dll", "v1.0.0.0.dll" + kReadOnly}},
         .programFolder = {{"Tarvik.dll", "v2.0.0.0.dll"}},
         .linuxOnly = kRootReadOnly},
        // The copy replaces the link itself and never writes into the file it points to.
        {.name = "installed_primary_library_is_a_link",
         .setup = Given({{"Tarvik.dll", "v2.0.0.0.dll"},
                         {"<out>/old.dll", "v1.0.0.0.dll"},
                         {"<sys>/Tarvik.dll", "-> <out-host>old.dll"}}),
         .console = {kStart, Copied("Tarvik.dll", "Tarvik.dll"), kNoLibraryFolder, kDone},
         .systemFolder = {{"Tarvik.dll", "v2.0.0.0.dll"}},
         .outsideFolder = {{"old.dll", "v1.0.0.0.dll"}},
         .linuxOnly = "symbolic links: Wine 8 writes through a link at the destination"},
        // The shell library comes from the system folder only: a DLL of that name planted beside
        // the tool (here one without the export) must not be loaded.
        {.name = "planted_shell_folder_library_is_not_loaded",
         .setup = Given({{"SHFolder.dll", "v1.0.0.0.dll"}}),
         .console = {kStart, kNoLibraryFolder, kDone},
         .programFolder = {{"SHFolder.dll", "v1.0.0.0.dll"}}},
        {.name = "no_system_folder",
         .setup = Given({{"Tarvik.dll", "v2.0.0.0.dll"}}),
         .status = 1,
         .console = {kStart, kNoSystemFolder},
         .log = std::nullopt,
         .programFolder = {{"Tarvik.dll", "v2.0.0.0.dll"}},
         .linuxOnly = "Wine itself cannot run without its system folder",
         .withSystemFolder = false},
        {.name = "no_system_folder_keeps_older_log",
         .setup =
             [](const Layout& l) { PutText(l.programFolder / "InstallLog_DLL.txt", kOlderLog); },
         .status = 1,
         .console = {kStart, kNoSystemFolder},
         .log = kOlderLog,
         .linuxOnly = "Wine itself cannot run without its system folder",
         .withSystemFolder = false},
        {.name = "older_longer_log_is_cut",
         .setup =
             [](const Layout& l) {
                 PutText(l.programFolder / "InstallLog_DLL.txt", std::string(3000, 'x') + "\r\n");
             },
         .console = {kStart, kNoLibraryFolder, kDone}},
        OlderLogInOtherCaseIsReplaced(),
        // A log file that cannot be written changes nothing: the older one stays, the run
        // succeeded.
        {.name = "read_only_older_log_stays",
         .setup =
             [](const Layout& l) {
                 PutText(l.programFolder / "InstallLog_DLL.txt", kOlderLog);
                 MakeReadOnly(l.programFolder / "InstallLog_DLL.txt");
             },
         .console = {kStart, kNoLibraryFolder, kDone},
         .log = kOlderLog,
         .linuxOnly = kRootReadOnly},
        // The copy takes the read-only attribute along, and the source cannot be deleted after it.
        {.name = "read_only_primary_library_stays_behind",
         .setup =
             [](const Layout& l) {
                 PutFixture(l.programFolder / "Tarvik.dll", "v2.0.0.0.dll");
                 MakeReadOnly(l.programFolder / "Tarvik.dll");
             },
         .console = {kStart, Copied("Tarvik.dll", "Tarvik.dll"), kNoLibraryFolder, kDone},
         .systemFolder = {{"Tarvik.dll", "v2.0.0.0.dll" + kReadOnly}},
         .programFolder = {{"Tarvik.dll", "v2.0.0.0.dll" + kReadOnly}}},
        // The read-only copy installed by the first run cannot be replaced, so the next run, which
        // finds the read-only library still in the program folder, stops at its copy; the first
        // run's log file stays.
        {.name = "read_only_primary_library_stops_the_next_run",
         .setup =
             [](const Layout& l) {
                 PutFixture(l.programFolder / "Tarvik.dll", "v2.0.0.0.dll");
                 MakeReadOnly(l.programFolder / "Tarvik.dll");
             },
         .status = 1,
         .console = {kStart, CopyFailed("Tarvik.dll", "Tarvik.dll")},
         .log = LogOf({kStart, Copied("Tarvik.dll", "Tarvik.dll"), kNoLibraryFolder, kDone}),
         .systemFolder = {{"Tarvik.dll", "v2.0.0.0.dll" + kReadOnly}},
         .programFolder = {{"Tarvik.dll", "v2.0.0.0.dll" + kReadOnly}},
         .linuxOnly = kRootReadOnly,
         .runs = 2},
        // Nobody is left to tell about a log file that cannot be written: the run has succeeded.
        {.name = "log_name_taken_by_folder",
         .setup = Given({{"InstallLog_DLL.txt/keep.txt", "text:kept"}}),
         .console = {kStart, kNoLibraryFolder, kDone},
         .log = std::nullopt,
         .programFolder = {{"InstallLog_DLL.txt", kFolder},
                           {"InstallLog_DLL.txt/keep.txt", "text:kept"}}},
        // With the tool's own path just within MAX_PATH, the log file's path is beyond it: the run
        // has succeeded all the same, without a log file.
        {.name = "log_file_path_too_long",
         .setup = Given({{"Tarvik.dll", "v2.0.0.0.dll"}}),
         .console = {kStart, Copied("Tarvik.dll", "Tarvik.dll"), kNoLibraryFolder, kDone},
         .log = std::nullopt,
         .systemFolder = {{"Tarvik.dll", "v2.0.0.0.dll"}},
         .programFolderName = "long",
         .programFolderLength = 243},
        {.name = "program_folder_path_too_long",
         .setup = Given({{"Tarvik.dll", "v2.0.0.0.dll"}}),
         .status = 1,
         .console = {kStart, kNoTargetPath},
         .log = std::nullopt,
         .programFolder = {{"Tarvik.dll", "v2.0.0.0.dll"}},
         .programFolderName = std::string(120, 'd') + "/" + std::string(120, 'e') + "/prog"},
    };
}

} // namespace e2e
