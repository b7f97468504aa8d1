// Scenarios of removing the library folder after a successful installation.
#include "expected_text.h"
#include "scenario_table.h"

namespace e2e {

namespace {

using namespace expected;

} // namespace

std::vector<Scenario> RemovalScenarios() {
    return {
        // What cannot be deleted stays with the folders that hold it; everything else goes.
        {.name = "read_only_file_deep_in_library_folder",
         .setup =
             [](const Layout& l) {
                 const fs::path lib = l.programFolder / "LIB";
                 PutFixture(lib / "a.dll", "v1.0.0.0.dll");
                 PutText(lib / "docs" / "old" / "readme.txt", "keep me");
                 MakeReadOnly(lib / "docs" / "old" / "readme.txt");
                 PutText(lib / "docs" / "old" / "other.txt", "other");
                 PutText(lib / "docs" / "notes.txt", "notes");
                 PutText(lib / "more" / "b.txt", "b");
                 PutFixture(lib / "z.dll", "v2.0.0.0.dll");
             },
         .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"), Copied("LIB\\z.dll", "z.dll"),
                     kDone},
         .systemFolder = {{"a.dll", "v1.0.0.0.dll"}, {"z.dll", "v2.0.0.0.dll"}},
         .programFolder = {{"LIB", kFolder},
                           {"LIB/docs", kFolder},
                           {"LIB/docs/old", kFolder},
                           {"LIB/docs/old/readme.txt", "text:keep me" + kReadOnly}}},
        // A folder without any write permission is read-only, and Windows keeps a read-only folder
        // as it keeps a read-only file: the folder stays, emptied, with the folders that hold it.
        {.name = "read_only_folder_in_library_folder",
         .setup =
             [](const Layout& l) {
                 PutFixture(l.programFolder / "LIB" / "a.dll", "v1.0.0.0.dll");
                 PutText(l.programFolder / "LIB" / "docs" / "notes.txt", "notes");
                 MakeReadOnly(l.programFolder / "LIB" / "docs");
             },
         .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"), kDone},
         .systemFolder = {{"a.dll", "v1.0.0.0.dll"}},
         .programFolder = {{"LIB", kFolder}, {"LIB/docs", kFolder}},
         .linuxOnly = "Wine 8 removes a folder without write permission, which Windows refuses "
                      "for a read-only folder"},
        // A read-only DLL is installed read-only, as the copy takes its attributes, and stays
        // behind.
        {.name = "read_only_dll_in_library_folder",
         .setup =
             [](const Layout& l) {
                 PutFixture(l.programFolder / "LIB" / "ro.dll", "v1.0.0.0.dll");
                 MakeReadOnly(l.programFolder / "LIB" / "ro.dll");
             },
         .console = {kStart, kCopying, Copied("LIB\\ro.dll", "ro.dll"), kDone},
         .systemFolder = {{"ro.dll", "v1.0.0.0.dll" + kReadOnly}},
         .programFolder = {{"LIB", kFolder}, {"LIB/ro.dll", "v1.0.0.0.dll" + kReadOnly}}},
        // A link to a folder elsewhere is removed as a link; what it points to is not the
        // product's.
        {.name = "link_to_outside_folder_in_library_folder",
         .setup = Given({{"<out>/keep.dll", "v1.0.0.0.dll"},
                         {"<out>/sub/more.txt", "text:more"},
                         {"<out>/sub/deeper/also.dll", "v3.0.0.0.dll"},
                         {"LIB/linked.dll", "-> <out-host>"},
                         {"LIB/plain", "-> <out-host>sub"},
                         {"LIB/a.dll", "v2.0.0.0.dll"}}),
         .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"), kDone},
         .systemFolder = {{"a.dll", "v2.0.0.0.dll"}},
         .outsideFolder = {{"keep.dll", "v1.0.0.0.dll"},
                           {"sub", kFolder},
                           {"sub/more.txt", "text:more"},
                           {"sub/deeper", kFolder},
                           {"sub/deeper/also.dll", "v3.0.0.0.dll"}},
         .linuxOnly = kLinks},
        // A link to a DLL elsewhere installs the DLL's bytes; the link goes, the DLL stays.
        {.name = "link_to_outside_file_in_library_folder",
         .setup = Given(
             {{"<out>/real.dll", "v3.0.0.0.dll"}, {"LIB/alias.dll", "-> <out-host>real.dll"}}),
         .console = {kStart, kCopying, Copied("LIB\\alias.dll", "alias.dll"), kDone},
         .systemFolder = {{"alias.dll", "v3.0.0.0.dll"}},
         .outsideFolder = {{"real.dll", "v3.0.0.0.dll"}},
         .linuxOnly = kLinks},
        // A link whose target is gone is still an entry of the folder, and goes with it.
        {.name = "dangling_link_in_library_folder",
         .setup = Given({{"LIB/gone.txt", "-> <out-host>gone.txt"}, {"LIB/a.dll", "v1.0.0.0.dll"}}),
         .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"), kDone},
         .systemFolder = {{"a.dll", "v1.0.0.0.dll"}},
         .linuxOnly = kLinks},
        // A library folder that is itself a link is installed from, and loses only the link.
        {.name = "library_folder_is_a_link",
         .setup = Given({{"<out>/a.dll", "v2.0.0.0.dll"}, {"LIB", "-> <out-host>"}}),
         .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"), kDone},
         .systemFolder = {{"a.dll", "v2.0.0.0.dll"}},
         .outsideFolder = {{"a.dll", "v2.0.0.0.dll"}},
         .linuxOnly = kLinks},
    };
}

} // namespace e2e
