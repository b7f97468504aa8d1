// Scenarios with a fault injected into the Linux build's file-system calls: a library folder
// that cannot be listed, an entry that cannot be read, a primary library whose existence
// cannot be told, each failing the run with everything kept for the next one; and a folder
// swapped for a link while the run removes it.
#include "expected_text.h"
#include "scenario_table.h"

namespace e2e {

namespace {

using namespace expected;

constexpr const char* kInjected = "faults are injected by preloading a library into the Linux "
                                  "build";
const char kCannotReadLib[] = "Error: Cannot read the '<pf>LIB'\r\nsource folder.";

Tree UnreadableLibrary() {
    return {{"LIB", kFolder},
            {"LIB/a.dll", "v1.0.0.0.dll"},
            {"LIB/b.dll", "v2.0.0.0.dll"},
            {"LIB/c.dll", "v3.0.0.0.dll"},
            {"LIB/sub", kFolder},
            {"LIB/sub/d.dll", "v1.0.0.0.dll"}};
}

// `call` fails with `mode` on LIB, at its `at`th call there or, with at 0, at every one.
Scenario LibraryFolderCannotBeListed(const std::string& call, int at, const std::string& mode) {
    std::vector<std::string> faults = {"DLLINSTALL_FAULT_CALL=" + call,
                                       "DLLINSTALL_FAULT_PATH=<pf-host>LIB",
                                       "DLLINSTALL_FAULT_MODE=" + mode};
    if (at > 0)
        faults.push_back("DLLINSTALL_FAULT_AT=" + std::to_string(at));
    return {.name = "library_folder_unlisted_by_" + call + (at > 0 ? std::to_string(at) : "") +
                    "_" + mode,
            .setup = Given(UnreadableLibrary()),
            .status = 1,
            .console = {kStart, kCopying, kCannotReadLib},
            .log = std::nullopt,
            .programFolder = UnreadableLibrary(),
            .linuxOnly = kInjected,
            .environment = faults,
            .interposed = true};
}

// An entry that cannot be read leaves the listing unfinished: the DLLs before it are installed,
// and LIB stays with every DLL, the unread one included.
Scenario LibraryEntryCannotBeRead() {
    const Tree lib = {{"LIB", kFolder},
                      {"LIB/a.dll", "v1.0.0.0.dll"},
                      {"LIB/b.dll", "v2.0.0.0.dll"},
                      {"LIB/c.dll", "v3.0.0.0.dll"}};
    return {.name = "library_entry_cannot_be_read",
            .setup = Given(lib),
            .status = 1,
            .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"), kCannotReadLib},
            .log = std::nullopt,
            .systemFolder = {{"a.dll", "v1.0.0.0.dll"}},
            .programFolder = lib,
            .linuxOnly = kInjected,
            .environment = {"DLLINSTALL_FAULT_CALL=lstat",
                            "DLLINSTALL_FAULT_PATH=<pf-host>LIB/b.dll",
                            "DLLINSTALL_FAULT_MODE=EIO"},
            .interposed = true};
}

// An existence check of Tarvik.dll that cannot tell is no "absent": the run fails before it
// touches LIB, and Tarvik.dll stays for the next run.
Scenario PrimaryLibraryCannotBeChecked() {
    const Tree program = {
        {"Tarvik.dll", "v2.0.0.0.dll"}, {"LIB", kFolder}, {"LIB/a.dll", "v1.0.0.0.dll"}};
    return {
        .name = "primary_library_cannot_be_checked",
        .setup = Given(program),
        .status = 1,
        .console = {kStart, CopyFailed("Tarvik.dll", "Tarvik.dll")},
        .log = std::nullopt,
        .programFolder = program,
        .linuxOnly = kInjected,
        .environment = {"DLLINSTALL_FAULT_PATH=<pf-host>Tarvik.dll", "DLLINSTALL_FAULT_MODE=EIO"},
        .interposed = true};
}

// Another user swaps a subfolder of LIB for a link to a folder of their choice while the run
// removes LIB, right before the given call on it: nothing is ever deleted outside LIB, and the
// link, which the run did not list as a folder, keeps LIB in place.
Scenario LibrarySubfolderSwappedForALink(const std::string& moment, const std::string& call) {
    const Tree lib = {{"LIB", kFolder},
                      {"LIB/a.dll", "v1.0.0.0.dll"},
                      {"LIB/sub/x.dll", "text:inside"},
                      {"LIB/sub/y.txt", "text:inside"},
                      {"LIB/zlink", "-> <out-host>"},
                      {"<out>/x.dll", "text:outside"},
                      {"<out>/y.txt", "text:outside"}};
    return {.name = "library_subfolder_swapped_for_a_link_" + moment,
            .setup = Given(lib),
            .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"), kDone},
            .systemFolder = {{"a.dll", "v1.0.0.0.dll"}},
            .programFolder = {{"LIB", kFolder}, {"LIB/sub", "-> <out-host>"}},
            .outsideFolder = {{"x.dll", "text:outside"}, {"y.txt", "text:outside"}},
            .linuxOnly = kInjected,
            .environment = {"DLLINSTALL_FAULT_CALL=" + call,
                            "DLLINSTALL_FAULT_PATH=<pf-host>LIB/sub", "DLLINSTALL_FAULT_AT=1",
                            "DLLINSTALL_FAULT_MODE=exchange",
                            "DLLINSTALL_FAULT_EXCHANGE=<pf-host>LIB/sub:<pf-host>LIB/zlink"},
            .interposed = true};
}

// A folder flush that fails sends each copy to be flushed by itself: where it really went (a
// 32-bit DLL in syswow64), file and folder, so that every source is removed all the same.
Scenario FolderFlushFailsEachCopyFlushedWhereItWent() {
    return {.name = "folder_flush_fails_each_copy_flushed_where_it_went",
            .setup = Given({{"LIB/a32.dll", "pe32_v1.2.3.4.dll"}, {"LIB/b64.dll", "v1.0.0.0.dll"}}),
            .console = {kStart, kCopying, Copied("LIB\\a32.dll", "a32.dll"),
                        Copied("LIB\\b64.dll", "b64.dll"), kDone},
            .systemFolder = {{"b64.dll", "v1.0.0.0.dll"}},
            .linuxOnly = kInjected,
            .withWow64 = true,
            .wow64Folder = {{"a32.dll", "pe32_v1.2.3.4.dll"}},
            .environment = {"DLLINSTALL_FAULT_CALL=fsync", "DLLINSTALL_FAULT_PATH=/syswow64",
                            "DLLINSTALL_FAULT_AT=2", "DLLINSTALL_FAULT_MODE=EIO"},
            .interposed = true};
}

} // namespace

std::vector<Scenario> FaultScenarios() {
    return {LibraryFolderCannotBeListed("opendir", 0, "EIO"),
            LibraryFolderCannotBeListed("opendir", 0, "EACCES"),
            LibraryFolderCannotBeListed("readdir", 1, "EIO"),
            LibraryFolderCannotBeListed("readdir", 4, "EIO"),
            LibraryFolderCannotBeListed("readdir", 7, "EIO"),
            LibraryEntryCannotBeRead(),
            PrimaryLibraryCannotBeChecked(),
            LibrarySubfolderSwappedForALink("before_its_listing", "open"),
            LibrarySubfolderSwappedForALink("before_its_deletes", "unlink"),
            FolderFlushFailsEachCopyFlushedWhereItWent()};
}

} // namespace e2e
