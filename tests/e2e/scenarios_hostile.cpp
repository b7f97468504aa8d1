// Scenarios of program folders that others could have written to: host names that Windows
// cannot hold, files that are no files, modes that must not spread, and a log name taken by a
// link. In every one, nothing outside the program folder and the system folder changes.
#include "expected_text.h"
#include "scenario_table.h"

namespace e2e {

namespace {

using namespace expected;

// The table is built while tests are registered, before this file's own globals may be: its
// constants are plain texts, and its lists are made when asked for.
constexpr const char* kNamesOnlyLinux = "Wine 8 lists Linux names that Windows cannot hold as "
                                        "they are, and splits those with a backslash";

// Host names no Windows program can see: each would match "*.dll" or be removed with LIB if it
// were taken for a Windows name, and some would lead out of LIB ("..\\x.dll") or forge a line of
// the log ("\r\n"). They stay, and so LIB stays, as with a file that cannot be deleted.
std::vector<std::string> FoldersWindowsCannotHold() {
    return {"..\\..", "...", ".. "};
}

std::vector<std::string> NamesWindowsCannotHold() {
    return {"a\\b.dll",
            "a:b.dll",
            "a*b.dll",
            "a?b.dll",
            "a\"b.dll",
            "a<b.dll",
            "a>b.dll",
            "a|b.dll",
            "tab\tb.dll",
            "\x01.dll",
            "bad\xff.dll",
            "dot.dll.",
            "end.dll ",
            "....",
            ". ",
            " ",
            "..\\x.dll",
            "..\\..\\outside\\notes.txt",
            "forged\r\nInstallation is successfully complited.\r\nx.dll"};
}

Scenario NamesWindowsCannotHoldStayInLibraryFolder() {
    Tree program = {{"LIB", kFolder}, {"x.dll", "v2.0.0.0.dll"}, {"readme.txt", "text:keep"}};
    for (const std::string& name : NamesWindowsCannotHold())
        program["LIB/" + name] = "v1.0.0.0.dll";
    for (const std::string& folder : FoldersWindowsCannotHold()) {
        program["LIB/" + folder] = kFolder;
        program["LIB/" + folder + "/inner.dll"] = "v3.0.0.0.dll";
    }
    return {.name = "names_windows_cannot_hold_stay_in_library_folder",
            .setup =
                [](const Layout& l) {
                    PutFixture(l.programFolder / "x.dll", "v2.0.0.0.dll");
                    PutText(l.programFolder / "readme.txt", "keep");
                    PutText(l.outsideFolder / "notes.txt", "outside");
                    PutFixture(l.programFolder / "LIB" / "good.dll", "v1.0.0.0.dll");
                    for (const std::string& name : NamesWindowsCannotHold())
                        PutFixture(l.programFolder / "LIB" / name, "v1.0.0.0.dll");
                    for (const std::string& folder : FoldersWindowsCannotHold())
                        PutFixture(l.programFolder / "LIB" / folder / "inner.dll", "v3.0.0.0.dll");
                },
            .console = {kStart, kCopying, Copied("LIB\\good.dll", "good.dll"), kDone},
            .systemFolder = {{"good.dll", "v1.0.0.0.dll"}},
            .programFolder = program,
            .outsideFolder = {{"notes.txt", "text:outside"}},
            .linuxOnly = kNamesOnlyLinux};
}

// A program folder whose own name Windows cannot hold is refused before anything is touched:
// "prod." would otherwise read as its sibling "prod", whose product would be installed.
Scenario ProgramFolderNameWindowsCannotHold(const std::string& label, const std::string& name) {
    return {.name = "program_folder_named_" + label,
            .setup = Given({{"Tarvik.dll", "v2.0.0.0.dll"},
                            {"LIB/a.dll", "v1.0.0.0.dll"},
                            {"<out>/Tarvik.dll", "v3.0.0.0.dll"},
                            {"<out>/LIB/b.dll", "v3.0.0.0.dll"}}),
            .status = 1,
            .console = {kStart, kNoTargetPath},
            .log = std::nullopt,
            .programFolder = {{"Tarvik.dll", "v2.0.0.0.dll"},
                              {"LIB", kFolder},
                              {"LIB/a.dll", "v1.0.0.0.dll"}},
            .outsideFolder = {{"Tarvik.dll", "v3.0.0.0.dll"},
                              {"LIB", kFolder},
                              {"LIB/b.dll", "v3.0.0.0.dll"}},
            .linuxOnly = "Wine refuses to start a program from a folder Windows cannot name",
            .programFolderName = name,
            .outsideFolderName = "prod"};
}

// What is no regular file is refused at once, never opened to wait on or read without end:
// the run ends as any failed copy does, with LIB kept whole.
Scenario NoFileInLibraryFolder(const std::string& kind,
                               const std::function<void(const fs::path&)>& put,
                               const std::string& label, const std::string& linuxOnly) {
    return {.name = kind + "_in_library_folder",
            .setup =
                [put](const Layout& l) {
                    PutFixture(l.programFolder / "LIB" / "a.dll", "v1.0.0.0.dll");
                    put(l.programFolder / "LIB" / "odd.dll");
                    PutFixture(l.programFolder / "LIB" / "z.dll", "v2.0.0.0.dll");
                },
            .status = 1,
            .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"),
                        CopyFailed("LIB\\odd.dll", "odd.dll")},
            .log = std::nullopt,
            .systemFolder = {{"a.dll", "v1.0.0.0.dll"}},
            .programFolder = {{"LIB", kFolder},
                              {"LIB/a.dll", "v1.0.0.0.dll"},
                              {"LIB/odd.dll", label},
                              {"LIB/z.dll", "v2.0.0.0.dll"}},
            .linuxOnly = linuxOnly,
            .deadline = std::chrono::seconds(5)};
}

Scenario PrimaryLibraryIsNoFile(const std::string& kind,
                                const std::function<void(const fs::path&)>& put,
                                const std::string& label, const std::string& linuxOnly) {
    return {
        .name = "primary_library_is_a_" + kind,
        .setup =
            [put](const Layout& l) {
                put(l.programFolder / "Tarvik.dll");
                PutFixture(l.programFolder / "LIB" / "a.dll", "v1.0.0.0.dll");
            },
        .status = 1,
        .console = {kStart, CopyFailed("Tarvik.dll", "Tarvik.dll")},
        .log = std::nullopt,
        .programFolder = {{"Tarvik.dll", label}, {"LIB", kFolder}, {"LIB/a.dll", "v1.0.0.0.dll"}},
        .linuxOnly = linuxOnly,
        .deadline = std::chrono::seconds(5)};
}

constexpr const char* kDeviceOnlyLinux = "Wine 8 copies from a device until the disk is full";

void PutDeviceLink(const fs::path& file) {
    PutLink(file, "/dev/zero");
}

std::vector<Scenario> FileKindScenarios() {
    const std::string deviceLink = "-> /dev/zero";
    return {NoFileInLibraryFolder("fifo", PutFifo, kFifo, ""),
            NoFileInLibraryFolder("socket", PutSocket, kSocket, ""),
            NoFileInLibraryFolder("device_link", PutDeviceLink, deviceLink, kDeviceOnlyLinux),
            PrimaryLibraryIsNoFile("fifo", PutFifo, kFifo, ""),
            PrimaryLibraryIsNoFile("socket", PutSocket, kSocket, ""),
            PrimaryLibraryIsNoFile("device_link", PutDeviceLink, deviceLink, kDeviceOnlyLinux)};
}

// An installed copy carries the read-only attribute of its source and nothing else of its
// mode: no setuid, setgid or sticky bit, no execute bit, no write for others.
Scenario ModesOfSourcesDoNotSpread() {
    const std::vector<std::string> names = {"open.dll", "ro.dll", "setgid.dll", "setuid.dll",
                                            "sticky.dll"};
    std::vector<std::string> messages = {kStart, kCopying};
    for (const std::string& name : names)
        messages.push_back(Copied("LIB\\" + name, name));
    messages.push_back(kDone);
    return {.name = "modes_of_sources_do_not_spread",
            .setup =
                [](const Layout& l) {
                    const fs::path lib = l.programFolder / "LIB";
                    const std::pair<const char*, fs::perms> modes[] = {
                        {"setuid.dll", fs::perms(04755)},
                        {"setgid.dll", fs::perms(02755)},
                        {"sticky.dll", fs::perms(01644)},
                        {"open.dll", fs::perms(0777)},
                        {"ro.dll", fs::perms(0444)}};
                    for (const auto& [name, mode] : modes) {
                        PutFixture(lib / name, "v1.0.0.0.dll");
                        SetMode(lib / name, mode);
                    }
                },
            .console = messages,
            .log = LogOf(messages),
            .systemFolder = {{"open.dll", "v1.0.0.0.dll"},
                             {"ro.dll", "v1.0.0.0.dll" + kReadOnly},
                             {"setgid.dll", "v1.0.0.0.dll"},
                             {"setuid.dll", "v1.0.0.0.dll"},
                             {"sticky.dll", "v1.0.0.0.dll"}},
            .programFolder = {{"LIB", kFolder}, {"LIB/ro.dll", "v1.0.0.0.dll" + kReadOnly}}};
}

// A copy is never readable by more users than its source, whether the source is a link to a
// file only root may read, as Tarvik.dll or in LIB, or such a file itself.
Scenario PrivateSourcesStayPrivate() {
    const fs::perms kPrivate = fs::perms(0600), kPrivateReadOnly = fs::perms(0400);
    return {.name = "private_sources_stay_private",
            .setup =
                [=](const Layout& l) {
                    PutFixture(l.outsideFolder / "secret.dll", "v2.0.0.0.dll");
                    PutFixture(l.outsideFolder / "secret-a.dll", "v1.0.0.0.dll");
                    SetMode(l.outsideFolder / "secret.dll", kPrivate);
                    SetMode(l.outsideFolder / "secret-a.dll", kPrivate);
                    PutLink(l.programFolder / "Tarvik.dll", l.outsideFolder / "secret.dll");
                    PutLink(l.programFolder / "LIB" / "a.dll", l.outsideFolder / "secret-a.dll");
                    PutFixture(l.programFolder / "LIB" / "b.dll", "v1.0.0.0.dll");
                    SetMode(l.programFolder / "LIB" / "b.dll", kPrivate);
                    PutFixture(l.programFolder / "LIB" / "c.dll", "v1.0.0.0.dll");
                    SetMode(l.programFolder / "LIB" / "c.dll", kPrivateReadOnly);
                },
            .console = {kStart, Copied("Tarvik.dll", "Tarvik.dll"), kCopying,
                        Copied("LIB\\a.dll", "a.dll"), Copied("LIB\\b.dll", "b.dll"),
                        Copied("LIB\\c.dll", "c.dll"), kDone},
            .systemFolder = {{"Tarvik.dll", "v2.0.0.0.dll (mode 0600)"},
                             {"a.dll", "v1.0.0.0.dll (mode 0600)"},
                             {"b.dll", "v1.0.0.0.dll (mode 0600)"},
                             {"c.dll", "v1.0.0.0.dll" + kReadOnly + " (mode 0400)"}},
            .programFolder = {{"LIB", kFolder},
                              {"LIB/c.dll", "v1.0.0.0.dll" + kReadOnly + " (mode 0400)"}},
            .outsideFolder = {{"secret.dll", "v2.0.0.0.dll (mode 0600)"},
                              {"secret-a.dll", "v1.0.0.0.dll (mode 0600)"}},
            .linuxOnly = "Wine 8 gives every copy 0644, or 0444 read-only, whatever its source's "
                         "mode"};
}

// The log is written beside its name and renamed over it: a link there is replaced, never
// written through, whether it leads to a file elsewhere or nowhere.
Scenario LogNameTakenByLink(const std::string& kind, bool dangling) {
    Tree outside;
    if (!dangling)
        outside["victim.txt"] = "text:precious";
    return {.name = "log_name_taken_by_" + kind,
            .setup =
                [dangling](const Layout& l) {
                    if (!dangling)
                        PutText(l.outsideFolder / "victim.txt", "precious");
                    PutLink(l.programFolder / "InstallLog_DLL.txt", l.outsideFolder / "victim.txt");
                },
            .console = {kStart, kNoLibraryFolder, kDone},
            .outsideFolder = outside};
}

// Windows opens a device for these names in any folder, so no file can bear one: neither build
// opens one (a read of AUX or COM1 may never end), installs or removes it, and LIB stays.
// COM0 and LPT10 are files.
std::vector<std::string> DeviceNames() {
    return {"aux.dll",  "com1.dll",      "nul.dll",     "con.dll",  "prn.dll",
            "lpt1.dll", "conin$.dll",    "CONOUT$.DLL", "Aux .dll", "COM9.dll",
            "lPt9.dll", "COM\u00B9.dll", "nul.tar.gz",  "prn"};
}

Scenario DeviceNamesStayInLibraryFolder() {
    Tree program = {{"LIB", kFolder}, {"LIB/con", kFolder}, {"LIB/con/inner.dll", "v3.0.0.0.dll"}};
    for (const std::string& name : DeviceNames())
        program["LIB/" + name] = "v1.0.0.0.dll";
    return {.name = "device_names_stay_in_library_folder",
            .setup =
                [](const Layout& l) {
                    const fs::path lib = l.programFolder / "LIB";
                    PutFixture(lib / "good.dll", "v1.0.0.0.dll");
                    PutFixture(lib / "com0.dll", "v2.0.0.0.dll");
                    PutFixture(lib / "lpt10.dll", "v2.5.0.0.dll");
                    for (const std::string& name : DeviceNames())
                        PutFixture(lib / name, "v1.0.0.0.dll");
                    PutFixture(lib / "con" / "inner.dll", "v3.0.0.0.dll");
                },
            .console = {kStart, kCopying, Copied("LIB\\com0.dll", "com0.dll"),
                        Copied("LIB\\good.dll", "good.dll"), Copied("LIB\\lpt10.dll", "lpt10.dll"),
                        kDone},
            .systemFolder = {{"com0.dll", "v2.0.0.0.dll"},
                             {"good.dll", "v1.0.0.0.dll"},
                             {"lpt10.dll", "v2.5.0.0.dll"}},
            .programFolder = program,
            .deadline = std::chrono::seconds(20)};
}

// Wine refuses a prefix that is not the runner's own, and so does the Linux build: its owner
// could have pointed the system folder anywhere. Nothing is touched.
Scenario PrefixOfAnotherUserIsRefused() {
    return {.name = "prefix_of_another_user_is_refused",
            .setup =
                [](const Layout& l) {
                    PutFixture(l.programFolder / "Tarvik.dll", "v2.0.0.0.dll");
                    PutFixture(l.programFolder / "LIB" / "a.dll", "v1.0.0.0.dll");
                    const fs::path prefix =
                        l.systemFolder.parent_path().parent_path().parent_path();
                    GiveToAnotherUser(prefix);
                },
            .status = 1,
            .console = {kStart, kNoSystemFolder},
            .log = std::nullopt,
            .programFolder = {{"Tarvik.dll", "v2.0.0.0.dll"},
                              {"LIB", kFolder},
                              {"LIB/a.dll", "v1.0.0.0.dll"}},
            .linuxOnly = "Wine itself refuses to start in a prefix that is not the runner's",
            .asRootOnly = true};
}

} // namespace

std::vector<Scenario> HostileScenarios() {
    std::vector<Scenario> scenarios = {NamesWindowsCannotHoldStayInLibraryFolder(),
                                       DeviceNamesStayInLibraryFolder(),
                                       PrefixOfAnotherUserIsRefused(),
                                       ModesOfSourcesDoNotSpread(),
                                       PrivateSourcesStayPrivate(),
                                       LogNameTakenByLink("link_to_a_file_outside", false),
                                       LogNameTakenByLink("dangling_link", true)};
    const std::pair<std::string, std::string> folders[] = {
        {"with_trailing_dot", "prod."},  {"with_trailing_blank", "prod "},
        {"with_backslash", "pro\\d"},    {"with_colon", "pro:d"},
        {"with_line_break", "pro\r\nd"}, {"in_no_utf8", "pro\xff"}};
    for (const auto& [label, name] : folders)
        scenarios.push_back(ProgramFolderNameWindowsCannotHold(label, name));
    for (Scenario& scenario : FileKindScenarios())
        scenarios.push_back(std::move(scenario));
    return scenarios;
}

} // namespace e2e
