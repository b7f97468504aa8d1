// A power cut at any point of an installation. The model: calls that change names persist in
// order, so a cut right after a call leaves the names of every call up to it, which is what a
// kill before the next call leaves; data written since its file's last flush may be lost,
// wholly or from any offset (here: from 0, from the middle, or only the last byte). In every
// state so built, each DLL must be whole in LIB or whole in the system folder (the old or the
// new version), nothing else may be left but the tool's temporaries, and one more run must
// reach the clean end state.
//
// DLLINSTALL_CRASH_TOOL=exe runs another build of the tool (an older one, to see what the test
// finds there); DLLINSTALL_CRASH_STRIDE=n takes every n-th cut only.
#include "installation.h"
#include "sweep_scene.h"
#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/stat.h>

namespace {

using namespace faultinject;

const std::set<std::string> kProgramSkip = {kToolName, kLogName};

// Calls after which the files may be in a state of their own: data, names or flushes.
bool ChangesFiles(const std::string& traceLine) {
    static const std::set<std::string> kCalls = {
        "write", "pwrite", "pwrite64", "copy_file_range", "sendfile",  "ioctl",  "ftruncate",
        "link",  "linkat", "rename",   "renameat",        "renameat2", "unlink", "unlinkat",
        "rmdir", "mkdir",  "fsync",    "fdatasync",       "syncfs"};
    const size_t start = traceLine.find(' ') + 1;
    return kCalls.count(traceLine.substr(start, traceLine.find(' ', start) - start)) != 0;
}

using Inode = std::pair<unsigned long, unsigned long>;

std::set<Inode> ReadInodes(const fs::path& file) {
    std::set<Inode> inodes;
    std::ifstream in(file);
    for (unsigned long device, inode; in >> device >> inode;)
        inodes.insert({device, inode});
    return inodes;
}

// The files below root whose data is not on stable storage; the log file is no DLL.
std::vector<fs::path> DirtyFiles(const fs::path& root, const std::set<Inode>& dirty) {
    std::vector<fs::path> files;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        struct stat st {};
        if (lstat(item.path().c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            dirty.count({st.st_dev, st.st_ino}) && item.path().filename() != kLogName)
            files.push_back(item.path());
    }
    return files;
}

// Copies a tree; the tool, never written, is linked.
void CopyTree(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

using Loss = std::vector<std::pair<fs::path, uintmax_t>>; // files cut to these sizes

// One file's data lost from 0, from the middle or from its last byte; all of them lost wholly.
std::vector<Loss> LossesOf(const std::vector<fs::path>& dirty) {
    std::vector<Loss> losses = {{}};
    for (const fs::path& file : dirty) {
        const uintmax_t size = fs::file_size(file);
        for (const uintmax_t keep : {uintmax_t{0}, size / 2, size ? size - 1 : 0}) {
            if (keep < size && (losses.size() == 1 || losses.back() != Loss{{file, keep}}))
                losses.push_back({{file, keep}});
        }
    }
    if (dirty.size() > 1) {
        losses.emplace_back();
        for (const fs::path& file : dirty)
            losses.back().emplace_back(file, 0);
    }
    return losses;
}

struct Expected {
    const SweepScene& scene;
    Environment environment; // what the file system is like in every run
    Tree before;             // the system folder before the run
    Tree sources;            // the program folder before the run
    Tree system;             // the system folder after a clean run
    Tree program;            // the program folder after a clean run
};

// Each DLL whole in LIB or whole in the system folder, and nothing else left but temporaries.
void CheckState(const Expected& expected, std::vector<std::string>& failures) {
    const Tree system = Snapshot(expected.scene.system());
    const Tree program = Snapshot(expected.scene.program(), kProgramSkip);
    std::vector<std::pair<std::string, std::string>> dlls = {{"Tarvik.dll", "Tarvik.dll"}};
    for (const std::string& name : expected.scene.libraries())
        dlls.emplace_back("LIB/" + name, name);
    for (const auto& [source, name] : dlls) {
        const Entry* installed = FindIgnoringCase(system, name);
        const Entry* offered = FindIgnoringCase(expected.sources, source);
        const Entry* old = FindIgnoringCase(expected.before, name);
        if (installed && !(old && *installed == *old) && !(*installed == *offered))
            failures.push_back("system32/" + name + " is not whole (" +
                               std::to_string(installed->bytes.size()) + " bytes)");
        const Entry* final = FindIgnoringCase(expected.system, name);
        if (!program.count(source) && !(installed && final && *installed == *final))
            failures.push_back(source + " is gone and not installed");
    }
    for (const auto& [name, entry] : system) {
        if (!IsTemporary(name) && !expected.before.count(name) && !expected.system.count(name))
            failures.push_back("system32/" + name + " left behind");
    }
    for (const auto& [name, entry] : program) {
        if (!expected.sources.count(name) && name != kLogTemporaryName)
            failures.push_back(name + " left in the program folder");
    }
}

void CheckRerun(const Expected& expected, std::vector<std::string>& failures) {
    const SweepScene& scene = expected.scene;
    const RunResult again = RunTool(scene.program(), scene.prefix(), expected.environment,
                                    !expected.environment.empty());
    if (again.status != 0)
        failures.push_back("the next run ended with " + Describe(again) + ":\n" + again.out);
    const std::string system = DescribeDifferences(expected.system, Snapshot(scene.system()));
    const std::string program =
        DescribeDifferences(expected.program, Snapshot(scene.program(), kProgramSkip));
    if (!system.empty() || !program.empty())
        failures.push_back("after the next run:\n" + system + program);
}

// Every state a cut before call k can leave; returns how many were checked.
int CheckCut(const Expected& expected, unsigned long k, const fs::path& saved,
             std::vector<std::string>& failures) {
    const SweepScene& scene = expected.scene;
    scene.Refresh();
    const fs::path dirtyList = saved.parent_path() / "dirty.txt";
    fs::create_directories(saved.parent_path());
    fs::remove(dirtyList);
    Environment killed = expected.environment;
    killed.insert(killed.end(), {{"DLLINSTALL_FAULT_AT", std::to_string(k)},
                                 {"DLLINSTALL_FAULT_MODE", "kill"},
                                 {"DLLINSTALL_FAULT_DIRTY", dirtyList.string()}});
    RunTool(scene.program(), scene.prefix(), killed, true);
    const fs::path work = scene.program().parent_path();
    const std::vector<Loss> losses = LossesOf(DirtyFiles(work, ReadInodes(dirtyList)));
    if (losses.size() > 1)
        CopyTree(work, saved);
    for (size_t i = 0; i < losses.size(); ++i) {
        if (i > 0)
            CopyTree(saved, work);
        for (const auto& [file, size] : losses[i])
            fs::resize_file(file, size);
        std::vector<std::string> found;
        CheckState(expected, found);
        CheckRerun(expected, found);
        for (const std::string& failure : found)
            failures.push_back("cut before call " + std::to_string(k) + ", loss " +
                               std::to_string(i) + ": " + failure);
    }
    return static_cast<int>(losses.size());
}

// Cuts after every call that changes files, in the file system the environment describes.
void CheckEveryCut(const Environment& environment) {
    testing_support::TempFolder root("dllinstall-crash", ScratchBase());
    const char* tool = std::getenv("DLLINSTALL_CRASH_TOOL");
    const SweepScene scene(root.path(), tool && *tool ? tool : DLLINSTALL_LINUX_EXE);
    if (!scene.ready())
        GTEST_SKIP() << "fixture DLLs are missing (mingw-w64 not installed)";
    scene.Refresh();
    const fs::path trace = root.path() / "trace.txt";
    Environment tracing = environment;
    tracing.emplace_back("DLLINSTALL_FAULT_TRACE", trace.string());
    const RunResult clean = RunTool(scene.program(), scene.prefix(), tracing, true);
    ASSERT_EQ(clean.status, 0) << clean.out;
    const Expected expected{scene,
                            environment,
                            Snapshot(scene.pristineSystem()),
                            Snapshot(scene.pristineProgram(), kProgramSkip),
                            Snapshot(scene.system()),
                            Snapshot(scene.program(), kProgramSkip)};
    std::vector<std::string> lines;
    std::ifstream in(trace);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    const char* strideText = std::getenv("DLLINSTALL_CRASH_STRIDE");
    const unsigned long stride =
        strideText ? std::max(1UL, std::strtoul(strideText, nullptr, 10)) : 1;
    int cuts = 0, states = 0;
    std::vector<std::string> failures;
    for (unsigned long k = 1; k < lines.size(); ++k) {
        if (ChangesFiles(lines[k - 1]) && cuts++ % stride == 0)
            states += CheckCut(expected, k + 1, root.path() / "saved" / "work", failures);
    }
    std::cout << "crash states: " << lines.size() << " calls, " << cuts << " cuts, " << states
              << " states, " << failures.size() << " violations\n";
    for (size_t i = 0; i < failures.size() && i < 20; ++i)
        ADD_FAILURE() << failures[i];
}

TEST(CrashStates, EveryPowerCutLeavesEachDllWholeAndTheNextRunFinishes) {
    CheckEveryCut({});
}

// Without unnamed files the copy is written under its temporary name, where a cut finds it.
TEST(CrashStates, WithNamedTemporariesToo) {
    CheckEveryCut({{"DLLINSTALL_FAULT_NO_TMPFILE", "1"}});
}

} // namespace
