// Scenarios of links where the tool writes: a DLL offered through a link that leads nowhere,
// a system folder that is a link, and installed copies that are links. A link in the system
// folder is replaced as a link, never written through, unless its target is newer.
#include "expected_text.h"
#include "scenario_table.h"

namespace e2e {

namespace {

using namespace expected;

// A dangling link cannot be copied: the run stops there with LIB kept whole.
Scenario DanglingDllLinkInLibraryFolder() {
    const Tree lib = {{"LIB", kFolder},
                      {"LIB/a.dll", "v1.0.0.0.dll"},
                      {"LIB/broken.dll", "-> <out-host>missing.dll"}};
    return {.name = "dangling_dll_link_in_library_folder",
            .setup = Given(lib),
            .status = 1,
            .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"),
                        CopyFailed("LIB\\broken.dll", "broken.dll")},
            .log = std::nullopt,
            .systemFolder = {{"a.dll", "v1.0.0.0.dll"}},
            .programFolder = lib,
            .linuxOnly = kLinks};
}

// The system folder may be a link to where a distribution keeps the DLLs: the files go there.
Scenario SystemFolderIsALink() {
    return {.name = "system_folder_is_a_link",
            .setup =
                [](const Layout& l) {
                    PutFolder(l.outsideFolder / "real_system32");
                    fs::remove(l.systemFolder);
                    PutLink(l.systemFolder, l.outsideFolder / "real_system32");
                    Given({{"LIB/a.dll", "v2.0.0.0.dll"}})(l);
                },
            .console = {kStart, kCopying, Copied("LIB\\a.dll", "a.dll"), kDone},
            .outsideFolder = {{"real_system32", kFolder}, {"real_system32/a.dll", "v2.0.0.0.dll"}},
            .linuxOnly = kLinks};
}

// An installed copy that is a link: what the run does with it depends on the version the
// link leads to, and the target outside is never written.
Scenario InstalledDllIsALink(const std::string& label, const std::string& target, bool kept) {
    const std::vector<std::string> installed = {kStart, kCopying,
                                                Copied("LIB\\shared.dll", "shared.dll"), kDone};
    const std::vector<std::string> messages =
        kept ? std::vector<std::string>{kStart, kCopying, kDone} : installed;
    Tree outside;
    if (!target.empty())
        outside["shared.dll"] = target;
    Tree given = {{"LIB/shared.dll", "v2.0.0.0.dll"},
                  {"<sys>/shared.dll", "-> <out-host>shared.dll"}};
    for (const auto& [name, label] : outside)
        given["<out>/" + name] = label;
    return {.name = "installed_dll_is_a_link_" + label,
            .setup = Given(given),
            .console = messages,
            .log = LogOf(messages),
            .systemFolder = {{"shared.dll", kept ? "-> <out-host>shared.dll" : "v2.0.0.0.dll"}},
            .outsideFolder = outside,
            .linuxOnly = kLinks};
}

} // namespace

std::vector<Scenario> LinkScenarios() {
    return {DanglingDllLinkInLibraryFolder(), SystemFolderIsALink(),
            InstalledDllIsALink("to_an_older_copy", "v1.0.0.0.dll", false),
            InstalledDllIsALink("to_a_newer_copy", "v3.0.0.0.dll", true),
            InstalledDllIsALink("leading_nowhere", "", false)};
}

} // namespace e2e
