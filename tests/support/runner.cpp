#include "runner.h"

#include "test_support.h"

#include <cstdlib>

namespace e2e {

namespace {

const char kLogFileName[] = "InstallLog_DLL.txt";

std::string FirstComponent(const std::string& relativePath) {
    return relativePath.substr(0, relativePath.find('/'));
}

void RemoveWhole(const fs::path& path) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec)))
        testing_support::MakeWritable(path);
    fs::remove_all(path, ec);
}

// The run starts in the program folder, unless Wine could not start in it (it says so on
// stderr): the tool itself never looks at its working folder.
fs::path WorkingFolderOf(const Layout& layout, const Stage& stage) {
    const bool fits = testing_support::DosPath(layout.programFolder).size() < 260;
    return fits ? layout.programFolder : stage.work;
}

// The scenario's own environment entries for its runs, with the fault library where it has one.
std::vector<std::string> EnvironmentOf(const Scenario& scenario, const Layout& layout) {
    std::vector<std::string> entries;
    for (const std::string& entry : scenario.environment)
        entries.push_back(FillIn(entry, layout));
    return scenario.interposed ? InterposedEnvironment(entries) : entries;
}

// The names of the folder beyond its baseline.
Tree ReadSystemFolder(const Stage& stage, const std::string& name) {
    const auto baseline = stage.baselines.find(name);
    return ReadTree(SystemFolderOf(stage, name), [&](const std::string& path) {
        return baseline != stage.baselines.end() && baseline->second.count(FirstComponent(path));
    });
}

void ReadResult(const Layout& layout, const Stage& stage, const Build& build, Outcome& outcome) {
    const fs::path log = layout.programFolder / kLogFileName;
    const bool logIsFile = fs::is_regular_file(fs::symlink_status(log));
    if (logIsFile)
        outcome.log = testing_support::ReadBytes(log);
    const std::string executable = build.executable.filename().string();
    outcome.programFolder = ReadTree(layout.programFolder, [&](const std::string& path) {
        return path == executable || (logIsFile && path == kLogFileName);
    });
    outcome.systemFolder = ReadSystemFolder(stage, build.systemFolderName);
    outcome.otherSystemFolder =
        ReadSystemFolder(stage, build.systemFolderName == kSystem32 ? kSysWow64 : kSystem32);
    outcome.outsideFolder = ReadTree(layout.outsideFolder);
}

} // namespace

ProcessResult RunBuild(const Build& build, const Layout& layout, const Stage& stage,
                       std::chrono::seconds deadline, const std::vector<std::string>& extra,
                       std::string* note) {
    testing_support::Launch launch;
    launch.argv = build.launcher;
    launch.argv.push_back((layout.programFolder / build.executable.filename()).string());
    std::vector<std::string> entries = stage.environment;
    entries.insert(entries.end(), extra.begin(), extra.end());
    launch.environment = testing_support::EnvironmentWith(entries);
    launch.workingFolder = WorkingFolderOf(layout, stage);
    launch.deadline = deadline;
    if (!build.underWine)
        return testing_support::RunProcess(launch);
    ProcessResult result = testing_support::RunUnderWine(launch);
    if (result.retried && note)
        *note = "wine exited 1 with no output at all; ran it once more";
    return result;
}

std::vector<std::string> InterposedEnvironment(const std::vector<std::string>& faults) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    // A sanitized build would otherwise refuse a library loaded before its runtime.
    std::vector<std::string> entries = {std::string("LD_PRELOAD=") + DLLINSTALL_INTERPOSER,
                                        std::string("ASAN_OPTIONS=") +
                                            (asan && *asan ? std::string(asan) + ":" : "") +
                                            "verify_asan_link_order=0"};
    entries.insert(entries.end(), faults.begin(), faults.end());
    return entries;
}

fs::path SystemFolderOf(const Stage& stage, const std::string& name) {
    return testing_support::SystemFolderOf(stage.prefix, name);
}

Build LinuxBuildOf() {
    return {"Linux build", DLLINSTALL_LINUX_EXE, {}, false};
}

Build WindowsBuildOf(const std::string& wine) {
    return {"Windows build under Wine", DLLINSTALL_WINDOWS_EXE, {wine}, true};
}

Build Windows32BuildOf(const std::string& wine) {
    return {"32-bit Windows build under Wine", DLLINSTALL_WINDOWS32_EXE, {wine}, true, kSysWow64};
}

Layout LayoutOf(const Scenario& scenario, const Stage& stage, const Build& build) {
    std::string name = scenario.programFolderName;
    const size_t length = testing_support::DosPath(stage.work / name).size() + 1;
    if (length < scenario.programFolderLength)
        name += std::string(scenario.programFolderLength - length, 'p');
    return {stage.work / name, SystemFolderOf(stage, build.systemFolderName),
            stage.work / scenario.outsideFolderName, SystemFolderOf(stage, kSysWow64)};
}

void ClearStage(const Stage& stage) {
    std::error_code ec;
    for (const std::string& name : {kSystem32, kSysWow64}) {
        const auto baseline = stage.baselines.find(name);
        for (const auto& entry : fs::directory_iterator(SystemFolderOf(stage, name), ec))
            if (baseline == stage.baselines.end() ||
                baseline->second.count(entry.path().filename().string()) == 0)
                RemoveWhole(entry.path());
    }
    for (const auto& entry : fs::directory_iterator(stage.work, ec))
        RemoveWhole(entry.path());
}

Outcome RunScenario(const Scenario& scenario, const Build& build, const Stage& stage) {
    const Layout layout = LayoutOf(scenario, stage, build);
    ClearStage(stage);
    fs::create_directories(layout.programFolder);
    fs::copy_file(build.executable, layout.programFolder / build.executable.filename());
    scenario.setup(layout);
    Outcome outcome;
    for (int run = 0; run < scenario.runs; ++run)
        outcome.process = RunBuild(build, layout, stage, scenario.deadline,
                                   EnvironmentOf(scenario, layout), &outcome.note);
    ReadResult(layout, stage, build, outcome);
    ClearStage(stage);
    return outcome;
}

std::string FillIn(std::string text, const Layout& layout) {
    const std::pair<std::string, std::string> marks[] = {
        {kProgramFolderMark, testing_support::DosPath(layout.programFolder) + "\\"},
        {kSystemFolderMark, "C:\\windows\\system32"},
        {kProgramFolderHostMark, layout.programFolder.string() + "/"},
        {kOutsideFolderHostMark, layout.outsideFolder.string() + "/"}};
    for (const auto& [mark, value] : marks)
        for (size_t at = text.find(mark); at != std::string::npos;
             at = text.find(mark, at + value.size()))
            text.replace(at, mark.size(), value);
    return text;
}

} // namespace e2e
