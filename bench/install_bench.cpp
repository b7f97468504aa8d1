// bench_install: the Linux build of dllinstall against cp and rm -rf doing the same work, on
// freshly made program folders and prefixes; RemoveFolderTree against rm -rf; the tool's peak
// memory. Prints a table and writes the figures as JSON. See bench/README.md.
#include "bench_layout.h"
#include "bench_process.h"
#include "fs/folders.h"
#include "version/version.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace {

using namespace bench;

struct Options {
    fs::path tool = DLLINSTALL_LINUX_EXE;
    fs::path fixtures = DLLINSTALL_FIXTURE_DIR;
    fs::path json;
    fs::path work;
    std::vector<int> counts = {10, 1000, -1000, 10000}; // -n: n DLLs of 64 KiB each
    int runs = 0;                                       // 0: the default for each case
    int treeFiles = 100000;
    int prepareCount = 0; // not 0: only build that case in work and stop, for profiling
    std::string wine;     // the Wine loader; empty: no Windows build under Wine
    fs::path windowsTool; // dllinstall.exe
    fs::path winePrefix;  // a prefix Wine has made, with its wineserver kept alive
};

// Seconds of each run: wall clock, and the CPU time the work took.
struct Timings {
    std::vector<double> wall;
    std::vector<double> cpu;
    void Add(double wallSeconds, double cpuSeconds) {
        wall.push_back(wallSeconds);
        cpu.push_back(cpuSeconds);
    }
};

struct InstallFigures {
    int dlls = 0;
    bool uniform = false; // all of 64 KiB
    int filesCopied = 0;  // Tarvik.dll included
    int skipped = 0;
    uint64_t bytesCopied = 0;
    Timings tool;
    Timings baseline;     // cp, then rm -rf
    Timings syncBaseline; // cp, sync, then rm -rf: what a careful script does
    Timings wine;         // the Windows build under Wine (wall clock only)
    long peakRssKiB = 0;
};

struct RemovalFigures {
    TreeShape shape;
    Timings removeFolderTree;
    Timings rmRf;
};

struct Report {
    bool readerWorks = false;
    std::string fileSystem;
    std::vector<InstallFigures> installs;
    RemovalFigures removal;
};

// Enough runs for a stable median; fewer where one setup writes gigabytes.
int RunsFor(const Options& options, int count) {
    if (options.runs > 0)
        return options.runs;
    return count >= 10000 ? 5 : 7;
}

std::string WindowsPathOnZ(const fs::path& hostPath) {
    std::string path = "Z:" + hostPath.string();
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

// The tool reads versions only when this build's reader does; the expected copies follow it.
bool VersionReaderWorks(const Options& options) {
    const fs::path prefix = options.work / "probe-prefix";
    fs::create_directories(prefix / "drive_c" / "windows" / "system32");
    setenv("WINEPREFIX", prefix.c_str(), 1);
    const CString version =
        GetProductVersion(WindowsPathOnZ(options.fixtures / "v1.2.3.4.dll").c_str());
    RemoveAll(prefix);
    return version == "1.2.3.4";
}

InstallFolders PrepareInstall(const fs::path& root, const InstallPlan& plan,
                              const DllWriter& writer, const Options& options) {
    RemoveAll(root);
    fs::create_directories(root);
    const InstallFolders folders = BuildInstall(root, plan, writer, options.tool);
    FlushFileSystem(root); // the setup's writes must not be flushed during the timed run
    return folders;
}

void Require(bool condition, const std::string& what) {
    if (!condition)
        throw std::runtime_error(what);
}

void TimeTool(const InstallFolders& folders, const InstallPlan& plan, bool readerWorks,
              InstallFigures& figures) {
    const RunResult run = RunProcess({(folders.programFolder / "dllinstall").string()},
                                     folders.programFolder, folders.prefix.string());
    Require(run.exitStatus == 0, "dllinstall exited with " + std::to_string(run.exitStatus));
    const std::string problem = CheckInstalled(folders, plan, readerWorks);
    Require(problem.empty(), "after dllinstall: " + problem);
    Require(CountLoggedCopies(folders) == figures.filesCopied,
            "the log file does not list the expected copies");
    figures.peakRssKiB = std::max(figures.peakRssKiB, run.peakRssKiB);
    figures.tool.Add(run.seconds, run.cpuSeconds);
}

// cp of exactly the files the tool copies, then rm -rf of what the tool removes; with sync
// between them when `flush` is set.
void TimeBaseline(const InstallFolders& folders, const InstallPlan& plan, bool readerWorks,
                  bool flush, InstallFigures& figures) {
    std::vector<std::string> copy = {"cp", "--reflink=auto", "--preserve=mode,timestamps",
                                     "Tarvik.dll"};
    for (const Library& library : plan.libraries) {
        if (IsCopied(library, readerWorks))
            copy.push_back("LIB/" + library.name);
    }
    copy.push_back(folders.systemFolder.string());
    const std::vector<std::string> remove = {"rm", "-rf", "LIB", "Tarvik.dll"};
    const RunResult copied = RunProcess(copy, folders.programFolder, std::string());
    RunResult synced;
    if (flush)
        synced = RunProcess({"sync"}, folders.programFolder, std::string());
    const RunResult removed = RunProcess(remove, folders.programFolder, std::string());
    Require(copied.exitStatus == 0 && removed.exitStatus == 0 && (!flush || synced.exitStatus == 0),
            "cp, sync or rm -rf failed");
    const std::string problem = CheckInstalled(folders, plan, readerWorks);
    Require(problem.empty(), "after cp and rm -rf: " + problem);
    (flush ? figures.syncBaseline : figures.baseline)
        .Add(copied.seconds + synced.seconds + removed.seconds,
             copied.cpuSeconds + synced.cpuSeconds + removed.cpuSeconds);
}

// The Windows build under Wine on the same folders, installing into the Wine prefix's own
// system folder: the case's system folder files are put there first and taken away after.
void TimeWine(const InstallFolders& folders, const InstallPlan& plan, bool readerWorks,
              const Options& options, InstallFigures& figures) {
    InstallFolders wine = folders;
    wine.systemFolder = options.winePrefix / "drive_c" / "windows" / "system32";
    std::vector<std::string> names = {"Tarvik.dll"};
    for (const Library& library : plan.libraries)
        names.push_back(library.name);
    for (const std::string& name : names) {
        fs::remove(wine.systemFolder / name);
        if (fs::exists(folders.systemFolder / name))
            fs::copy_file(folders.systemFolder / name, wine.systemFolder / name);
    }
    fs::copy_file(options.windowsTool, folders.programFolder / "dllinstall.exe");
    FlushFileSystem(wine.systemFolder);
    const RunResult run = RunProcess({options.wine, "dllinstall.exe"}, folders.programFolder,
                                     options.winePrefix.string());
    const std::string problem = CheckInstalled(wine, plan, readerWorks);
    for (const std::string& name : names)
        fs::remove(wine.systemFolder / name);
    Require(run.exitStatus == 0, "dllinstall.exe exited with " + std::to_string(run.exitStatus));
    Require(problem.empty(), "after dllinstall.exe: " + problem);
    figures.wine.Add(run.seconds, run.cpuSeconds);
}

void CountWork(const InstallPlan& plan, bool readerWorks, InstallFigures& figures) {
    figures.dlls = static_cast<int>(plan.libraries.size());
    figures.filesCopied = 1;
    figures.bytesCopied = plan.primarySize;
    for (const Library& library : plan.libraries) {
        if (IsCopied(library, readerWorks)) {
            ++figures.filesCopied;
            figures.bytesCopied += library.offeredSize;
        } else {
            ++figures.skipped;
        }
    }
}

// A count below 0 stands for that many DLLs of 64 KiB each.
InstallPlan PlanFor(int count) {
    return count < 0 ? PlanUniform(-count) : PlanInstall(count);
}

// The tool and the baseline take turns, each on fresh folders, so that drift hits both alike.
InstallFigures MeasureInstall(const Options& options, int count, const DllWriter& writer,
                              bool readerWorks) {
    const InstallPlan plan = PlanFor(count);
    InstallFigures figures;
    figures.uniform = count < 0;
    CountWork(plan, readerWorks, figures);
    const fs::path root = options.work / ("install-" + std::to_string(count));
    const int runs = RunsFor(options, count);
    const int turns = !options.wine.empty() && count == 10 ? 4 : 3;
    for (int run = 0; run < runs; ++run) {
        for (int turn = 0; turn < turns; ++turn) {
            const InstallFolders folders = PrepareInstall(root, plan, writer, options);
            const int which = (turn + run) % turns;
            if (which == 0)
                TimeTool(folders, plan, readerWorks, figures);
            else if (which == 3)
                TimeWine(folders, plan, readerWorks, options, figures);
            else
                TimeBaseline(folders, plan, readerWorks, which == 2, figures);
        }
        std::cerr << "  " << count << " DLLs: run " << run + 1 << "/" << runs << " done\n";
    }
    RemoveAll(root);
    return figures;
}

fs::path PrepareTree(const fs::path& prefix, const TreeShape& shape) {
    const fs::path tree = prefix / "drive_c" / "LIB";
    RemoveAll(tree);
    BuildTree(tree, shape);
    FlushFileSystem(prefix);
    return tree;
}

void TimeRemoveFolderTree(const fs::path& prefix, RemovalFigures& figures) {
    const fs::path tree = PrepareTree(prefix, figures.shape);
    const double start = Now(), startCpu = OwnCpuSeconds();
    const DWORD error = RemoveFolderTree("C:\\LIB");
    figures.removeFolderTree.Add(Now() - start, OwnCpuSeconds() - startCpu);
    Require(error == 0 && !fs::exists(tree), "RemoveFolderTree left the tree");
}

void TimeRmRf(const fs::path& prefix, RemovalFigures& figures) {
    const fs::path tree = PrepareTree(prefix, figures.shape);
    const RunResult removed = RunProcess({"rm", "-rf", tree.string()}, prefix, std::string());
    Require(removed.exitStatus == 0 && !fs::exists(tree), "rm -rf failed");
    figures.rmRf.Add(removed.seconds, removed.cpuSeconds);
}

RemovalFigures MeasureRemoval(const Options& options) {
    RemovalFigures figures;
    figures.shape.filesPerFolder =
        std::max(1, options.treeFiles / (figures.shape.topFolders * figures.shape.subFolders));
    const fs::path prefix = options.work / "removal-prefix";
    fs::create_directories(prefix / "drive_c" / "windows" / "system32");
    setenv("WINEPREFIX", prefix.c_str(), 1); // C: is drive_c: the prefix has no dosdevices
    const int runs = options.runs > 0 ? options.runs : 5;
    for (int run = 0; run < runs; ++run) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (run % 2 == 0))
                TimeRemoveFolderTree(prefix, figures);
            else
                TimeRmRf(prefix, figures);
        }
        std::cerr << "  tree of " << figures.shape.FileCount() << " files: run " << run + 1 << "/"
                  << runs << " done\n";
    }
    RemoveAll(prefix);
    return figures;
}

double Ratio(const std::vector<double>& ours, const std::vector<double>& theirs) {
    const double base = Median(theirs);
    return base > 0 ? Median(ours) / base : 0;
}

std::string FormatBytes(uint64_t bytes) {
    char text[32];
    snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

void PrintInstallTable(const Report& report) {
    printf("\nInstall on %s (version reader: %s); medians in seconds, wall clock and CPU\n",
           report.fileSystem.c_str(), report.readerWorks ? "reads versions" : "none");
    printf("%6s %6s %7s %10s %4s %10s %10s %6s %10s %6s %8s %8s %6s %10s\n", "DLLs", "copied",
           "skipped", "bytes", "runs", "dllinstall", "cp+rm -rf", "ratio", "+sync", "ratio",
           "CPU tool", "CPU base", "ratio", "peak RSS");
    for (const InstallFigures& f : report.installs) {
        printf("%5d%c %6d %7d %10s %4zu %10.3f %10.3f %5.2fx %10.3f %5.2fx %8.3f %8.3f %5.2fx %6ld "
               "KiB\n",
               f.dlls, f.uniform ? 'u' : ' ', f.filesCopied, f.skipped,
               FormatBytes(f.bytesCopied).c_str(), f.tool.wall.size(), Median(f.tool.wall),
               Median(f.baseline.wall), Ratio(f.tool.wall, f.baseline.wall),
               Median(f.syncBaseline.wall), Ratio(f.tool.wall, f.syncBaseline.wall),
               Median(f.tool.cpu), Median(f.baseline.cpu), Ratio(f.tool.cpu, f.baseline.cpu),
               f.peakRssKiB);
        if (!f.wine.wall.empty())
            printf("       Windows build under Wine: %.3f s, %.1fx the Linux build\n",
                   Median(f.wine.wall), Ratio(f.wine.wall, f.tool.wall));
    }
}

void PrintRemoval(const RemovalFigures& removal) {
    if (removal.rmRf.wall.empty())
        return;
    printf("\nFolder tree removal, %d files in %d folders; medians of %zu runs in seconds\n",
           removal.shape.FileCount(), removal.shape.FolderCount(), removal.rmRf.wall.size());
    printf("  wall: RemoveFolderTree %.3f  rm -rf %.3f  ratio %.2fx\n",
           Median(removal.removeFolderTree.wall), Median(removal.rmRf.wall),
           Ratio(removal.removeFolderTree.wall, removal.rmRf.wall));
    printf("  CPU:  RemoveFolderTree %.3f  rm -rf %.3f  ratio %.2fx\n",
           Median(removal.removeFolderTree.cpu), Median(removal.rmRf.cpu),
           Ratio(removal.removeFolderTree.cpu, removal.rmRf.cpu));
}

std::string JsonList(const std::vector<double>& values) {
    std::ostringstream out;
    out << "[";
    for (size_t i = 0; i < values.size(); ++i)
        out << (i ? ", " : "") << values[i];
    return out.str() + "]";
}

// "name_median_s", "name_cpu_median_s" and the runs behind them.
void WriteTimingsJson(std::ostream& out, const char* name, const Timings& timings) {
    out << "\"" << name << "_median_s\": " << Median(timings.wall) << ", \"" << name
        << "_cpu_median_s\": " << Median(timings.cpu) << ", \"" << name
        << "_runs_s\": " << JsonList(timings.wall) << ", \"" << name
        << "_cpu_runs_s\": " << JsonList(timings.cpu);
}

void WriteInstallJson(std::ostream& out, const InstallFigures& f, bool last) {
    out << "    {\"dlls\": " << f.dlls << ", \"all_64_kib\": " << (f.uniform ? "true" : "false")
        << ", \"files_copied\": " << f.filesCopied << ", \"files_skipped\": " << f.skipped
        << ", \"bytes_copied\": " << f.bytesCopied
        << ", \"ratio\": " << Ratio(f.tool.wall, f.baseline.wall)
        << ", \"cpu_ratio\": " << Ratio(f.tool.cpu, f.baseline.cpu)
        << ", \"sync_ratio\": " << Ratio(f.tool.wall, f.syncBaseline.wall)
        << ", \"tool_peak_rss_kib\": " << f.peakRssKiB << ",\n     ";
    WriteTimingsJson(out, "tool", f.tool);
    out << ",\n     ";
    WriteTimingsJson(out, "baseline", f.baseline);
    out << ",\n     ";
    WriteTimingsJson(out, "sync_baseline", f.syncBaseline);
    if (!f.wine.wall.empty()) {
        out << ",\n     \"wine_over_linux\": " << Ratio(f.wine.wall, f.tool.wall) << ", ";
        WriteTimingsJson(out, "wine", f.wine);
    }
    out << "}" << (last ? "" : ",") << "\n";
}

long PeakFor(const std::vector<InstallFigures>& installs, int dlls) {
    for (const InstallFigures& f : installs) {
        if (f.dlls == dlls)
            return f.peakRssKiB;
    }
    return 0;
}

void WriteRemovalJson(std::ostream& out, const RemovalFigures& removal) {
    out << "  \"remove_tree\": {\"files\": " << removal.shape.FileCount()
        << ", \"folders\": " << removal.shape.FolderCount()
        << ", \"ratio\": " << Ratio(removal.removeFolderTree.wall, removal.rmRf.wall)
        << ", \"cpu_ratio\": " << Ratio(removal.removeFolderTree.cpu, removal.rmRf.cpu)
        << ",\n    ";
    WriteTimingsJson(out, "remove_folder_tree", removal.removeFolderTree);
    out << ",\n    ";
    WriteTimingsJson(out, "rm_rf", removal.rmRf);
    out << "},\n";
}

void WriteJson(const fs::path& file, const Report& report) {
    std::ofstream out(file);
    out.precision(6);
    out << "{\n  \"file_system\": \"" << report.fileSystem
        << "\",\n  \"version_reader\": " << (report.readerWorks ? "true" : "false")
        << ",\n  \"baseline\": \"cp --reflink=auto --preserve=mode,timestamps, then rm -rf\""
        << ",\n  \"install\": [\n";
    for (size_t i = 0; i < report.installs.size(); ++i)
        WriteInstallJson(out, report.installs[i], i + 1 == report.installs.size());
    out << "  ],\n";
    if (!report.removal.rmRf.wall.empty())
        WriteRemovalJson(out, report.removal);
    const long small = PeakFor(report.installs, 10);
    const long large = PeakFor(report.installs, 10000);
    out << "  \"memory\": {\"peak_rss_kib_10\": " << small << ", \"peak_rss_kib_10000\": " << large
        << ", \"growth_kib\": " << (small && large ? large - small : 0) << "}\n}\n";
}

std::vector<int> ParseCounts(const std::string& text) {
    std::vector<int> counts;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        counts.push_back(!item.empty() && item.back() == 'u' ? -std::stoi(item) : std::stoi(item));
    return counts;
}

Options ParseOptions(int argc, char* argv[]) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        Require(i + 1 < argc, "usage: bench_install [--json FILE] [--work DIR] [--tool EXE] "
                              "[--fixtures DIR] [--counts 10,1000,1000u,10000] [--runs N] "
                              "[--tree-files N] [--prepare COUNT] [--wine LOADER "
                              "--windows-tool EXE --wine-prefix DIR]");
        const std::string value = argv[++i];
        if (arg == "--json")
            options.json = value;
        else if (arg == "--work")
            options.work = value;
        else if (arg == "--tool")
            options.tool = value;
        else if (arg == "--fixtures")
            options.fixtures = value;
        else if (arg == "--counts")
            options.counts = ParseCounts(value);
        else if (arg == "--runs")
            options.runs = std::stoi(value);
        else if (arg == "--tree-files")
            options.treeFiles = std::stoi(value);
        else if (arg == "--prepare")
            options.prepareCount = ParseCounts(value).at(0);
        else if (arg == "--wine")
            options.wine = value;
        else if (arg == "--windows-tool")
            options.windowsTool = value;
        else if (arg == "--wine-prefix")
            options.winePrefix = value;
        else
            Require(false, "unknown option " + arg);
    }
    return options;
}

// A scratch folder of our own under the given one (or the system's temporary folder).
fs::path MakeWorkFolder(const fs::path& parent) {
    const fs::path base = parent.empty() ? fs::temp_directory_path() : parent;
    fs::create_directories(base);
    std::string pattern = (base / "dllinstall-bench-XXXXXX").string();
    Require(mkdtemp(pattern.data()) != nullptr, "cannot make a folder in " + base.string());
    return fs::canonical(pattern);
}

// Builds one case and leaves it in place, so that a profiler can run the tool on it.
int Prepare(const Options& options, const DllWriter& writer) {
    const InstallFolders folders =
        PrepareInstall(options.work / "case", PlanFor(options.prepareCount), writer, options);
    printf("WINEPREFIX=%s\nprogram folder: %s\n", folders.prefix.c_str(),
           folders.programFolder.c_str());
    return 0;
}

int Run(Options& options) {
    options.work = MakeWorkFolder(options.work);
    const DllWriter writer(options.fixtures);
    if (options.prepareCount != 0)
        return Prepare(options, writer);
    Report report;
    report.readerWorks = VersionReaderWorks(options);
    report.fileSystem = FileSystemName(options.work);
    for (const int count : options.counts)
        report.installs.push_back(MeasureInstall(options, count, writer, report.readerWorks));
    if (options.treeFiles > 0)
        report.removal = MeasureRemoval(options);
    RemoveAll(options.work);
    PrintInstallTable(report);
    PrintRemoval(report.removal);
    const long small = PeakFor(report.installs, 10), large = PeakFor(report.installs, 10000);
    if (small && large)
        printf("\nPeak memory: %ld KiB at 10 DLLs, %ld KiB at 10,000 (%+ld KiB)\n", small, large,
               large - small);
    if (!options.json.empty())
        WriteJson(options.json, report);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    Options options;
    try {
        options = ParseOptions(argc, argv);
        return Run(options);
    } catch (const std::exception& error) {
        std::cerr << "bench_install: " << error.what() << "\n";
        std::error_code ignored;
        if (!options.work.empty() && options.prepareCount == 0)
            fs::remove_all(options.work, ignored);
        return 1;
    }
}
