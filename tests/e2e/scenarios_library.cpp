// Scenarios of the library folder: what is copied, in which order, and what a failure leaves.
#include "expected_text.h"
#include "scenario_table.h"

#include <cstdint>

namespace e2e {

namespace {

using namespace expected;

// Bytes no fixture has, enough of them that a copy done in pieces must get every piece right.
std::string LargeLibraryBytes() {
    std::string bytes(3 * 1024 * 1024 + 123, '\0');
    uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

} // namespace

std::vector<Scenario> LibraryFolderScenarios() {
    return {
        {.name = "empty_library_folder",
         .setup = Given({{"LIB", kFolder}}),
         .console = {kStart, kCopying, kDone}},
        {.name = "library_folder_without_dlls",
         .setup = Given({{"LIB/readme.txt", "text:read me"},
                         {"LIB/a.dl", "v1.0.0.0.dll"},
                         {"LIB/b.dll.txt", "v1.0.0.0.dll"},
                         {"LIB/docs/c.txt", "text:see"},
                         {"LIB/dll", "v1.0.0.0.dll"}}),
         .console = {kStart, kCopying, kDone}},
        {.name = "library_folder_is_a_file",
         .setup = Given({{"LIB", "text:not a folder"}}),
         .console = {kStart, kNoLibraryFolder, kDone},
         .programFolder = {{"LIB", "text:not a folder"}}},
        // Only the DLLs right in the library folder are installed; a subfolder goes with the
        // folder.
        {.name = "subfolder_named_like_a_dll",
         .setup = Given({{"LIB/x.dll/y.dll", "v1.0.0.0.dll"}, {"LIB/a.dll", "v2.0.0.0.dll"}}),
         .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"), kDone},
         .systemFolder = {{"a.dll", "v2.0.0.0.dll"}}},
        {.name = "entries_come_in_ntfs_order",
         .setup = Given({{"LIB/b.dll", "v1.0.0.0.dll"},
                         {"LIB/A.dll", "v1.2.3.4.dll"},
                         {"LIB/_x.dll", "v1.2.3.5.dll"},
                         {"LIB/a1.dll", "v2.0.0.0.dll"},
                         {"LIB/Z.dll", "v2.5.0.0.dll"}}),
         .console = {kStart, kCopying, Copied("LIB\\A.dll", "A.dll"),
                     Copied("LIB\\a1.dll", "a1.dll"), Copied("LIB\\b.dll", "b.dll"),
                     Copied("LIB\\Z.dll", "Z.dll"), Copied("LIB\\_x.dll", "_x.dll"), kDone},
         .systemFolder = {{"A.dll", "v1.2.3.4.dll"},
                          {"a1.dll", "v2.0.0.0.dll"},
                          {"b.dll", "v1.0.0.0.dll"},
                          {"Z.dll", "v2.5.0.0.dll"},
                          {"_x.dll", "v1.2.3.5.dll"}}},
        // A failed copy stops the run: what was installed stays, the library folder stays whole.
        {.name = "third_of_five_copies_fails",
         .setup =
             [](const Layout& l) {
                 for (const char* name : {"a.dll", "b.dll", "c.dll", "d.dll", "e.dll"})
                     PutFixture(l.programFolder / "LIB" / name, "v1.0.0.0.dll");
                 PutFolder(l.systemFolder / "c.dll");
             },
         .status = 1,
         .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"), Copied("LIB\\b.dll", "b.dll"),
                     CopyFailed("LIB\\c.dll", "c.dll")},
         .log = std::nullopt,
         .systemFolder = {{"a.dll", "v1.0.0.0.dll"}, {"b.dll", "v1.0.0.0.dll"}, {"c.dll", kFolder}},
         .programFolder = {{"LIB", kFolder},
                           {"LIB/a.dll", "v1.0.0.0.dll"},
                           {"LIB/b.dll", "v1.0.0.0.dll"},
                           {"LIB/c.dll", "v1.0.0.0.dll"},
                           {"LIB/d.dll", "v1.0.0.0.dll"},
                           {"LIB/e.dll", "v1.0.0.0.dll"}}},
        // The library folder is found whatever its case, and named as the tool names it.
        {.name = "library_folder_in_other_case",
         .setup = Given({{"lib/a.dll", "v1.0.0.0.dll"}}),
         .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"), kDone},
         .systemFolder = {{"a.dll", "v1.0.0.0.dll"}}},
        {.name = "large_dll_is_copied_whole",
         .setup =
             [](const Layout& l) {
                 PutText(l.programFolder / "LIB" / "big.dll", LargeLibraryBytes());
             },
         .console = {kStart, kCopying, Copied("LIB\\big.dll", "big.dll"), kDone},
         .systemFolder = {{"big.dll", ContentLabel(LargeLibraryBytes())}}},
        {.name = "read_only_installed_library",
         .setup =
             [](const Layout& l) {
                 PutFixture(l.programFolder / "LIB" / "foo.dll", "v2.0.0.0.dll");
                 PutFixture(l.systemFolder / "foo.dll", "v1.0.0.0.dll");
                 MakeReadOnly(l.systemFolder / "foo.dll");
             },
         .status = 1,
         .console = {kStart, kCopying, CopyFailed("LIB\\foo.dll", "foo.dll")},
         .log = std::nullopt,
         .systemFolder = {{"foo.dll", "v1.0.0.0.dll" + kReadOnly}},
         .programFolder = {{"LIB", kFolder}, {"LIB/foo.dll", "v2.0.0.0.dll"}},
         .linuxOnly = kRootReadOnly},
    };
}

} // namespace e2e
