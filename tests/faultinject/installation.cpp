#include "installation.h"

#include "runner.h"

namespace faultinject {

namespace {

// A run still going then has hung on a fault it should have survived.
constexpr std::chrono::seconds kDeadline{120};

} // namespace

fs::path PlaceTool(const fs::path& programFolder) {
    const fs::path tool = programFolder / kToolName;
    std::error_code error;
    fs::create_hard_link(DLLINSTALL_LINUX_EXE, tool, error);
    if (error)
        fs::copy_file(DLLINSTALL_LINUX_EXE, tool, fs::copy_options::overwrite_existing);
    return tool;
}

RunResult RunTool(const fs::path& programFolder, const fs::path& prefix, const Environment& extra,
                  bool interposed) {
    const e2e::Layout layout = {programFolder, SystemFolderOf(prefix), {}, {}};
    const e2e::Stage stage = {programFolder, prefix, {}, {"WINEPREFIX=" + prefix.string()}};
    std::vector<std::string> entries;
    for (const auto& [name, value] : extra)
        entries.push_back(name + "=" + value);
    if (interposed)
        entries = e2e::InterposedEnvironment(entries);
    return e2e::RunBuild(e2e::LinuxBuildOf(), layout, stage, kDeadline, entries);
}

std::string LogFromConsole(const std::string& console) {
    std::string log;
    for (size_t i = 0; i < console.size(); ++i) {
        if (console[i] == '\n' && (i == 0 || console[i - 1] != '\r'))
            log += '\r';
        log += console[i];
    }
    return log;
}

Installation::Installation(const std::string& tag)
    : root(tag), program(root.path() / "program"), lib(program / "LIB"),
      prefix(root.path() / "prefix"), system(SystemFolderOf(prefix)) {
    fs::create_directories(lib);
    testing_support::MakePrefix(prefix);
    testing_support::WriteBytes(program / "Tarvik.dll", Filler(4096, 7));
    PlaceTool(program);
}

RunResult Installation::Run(const Environment& extra, bool interposed) const {
    return RunTool(program, prefix, extra, interposed);
}

} // namespace faultinject
