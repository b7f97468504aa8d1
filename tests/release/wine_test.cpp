// The Windows builds under Wine, where only Wine can show it: what the helper programs load and
// which code page they get, the ground of the scenarios on planting and names, and the tool's
// own calls in Wine's relay trace: the DLL search confined before any load, the console's code
// page switched and given back.
#include "pe_file.h"
#include "test_support.h"
#include "wine_run.h"

#include <algorithm>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

namespace release {

namespace {

namespace fs = std::filesystem;
using testing_support::PeFile;
using testing_support::ReadBytes;
using testing_support::TempFolder;

struct Arch {
    const char* label;
    const char* tool;
    const char* helpers; // the folder of the helper programs under DLLINSTALL_RELEASE_PE_DIR
    bool is32Bit;
    const char* offeredDll;   // a fixture DLL of the architecture, the newer version
    const char* installedDll; // the older version, already in the system folder
};

const Arch kX64 = {"x64", DLLINSTALL_WINDOWS_EXE, "x86_64", false, "v2.0.0.0.dll", "v1.0.0.0.dll"};
// The version reader reads any PE file, so an older 64-bit DLL stands for the installed copy.
const Arch kX86 = {"x86", DLLINSTALL_WINDOWS32_EXE, "i686",
                   true,  "pe32_v1.2.3.4.dll",      "v1.0.0.0.dll"};

void PrintTo(const Arch& arch, std::ostream* out) {
    *out << arch.label;
}

fs::path Helper(const Arch& arch, const std::string& name) {
    return fs::path(DLLINSTALL_RELEASE_PE_DIR) / arch.helpers / name;
}

fs::path SystemFolderOf(const Arch& arch) {
    return testing_support::SystemFolderOf(DLLINSTALL_WINE_PREFIX,
                                           arch.is32Bit ? "syswow64" : "system32");
}

// Why this Wine cannot run 32-bit programs, empty when it can: Debian's wine64 alone has no
// 32-bit loader, which comes with wine32 from the i386 architecture.
std::string WhyNo32BitRuns() {
    static const std::string reason = [] {
        TempFolder folder("dllinstall-release-probe");
        WineRun probe(Helper(kX86, "probe.exe"), {}, folder.path());
        probe.debug = "err+all"; // what Wine says when it cannot, to give as the reason
        const WineResult run = RunUnderWine(probe);
        if (run.status == 0 && run.out.rfind("probe", 0) == 0)
            return std::string();
        // Wine's own error lines say why; the rest of what it prints is advice.
        std::string said = run.failure;
        std::istringstream lines(run.err);
        for (std::string line; std::getline(lines, line);)
            said += line.find(":err:") != std::string::npos ? line + "; " : "";
        return "this machine's Wine cannot run 32-bit programs (Debian's wine64 alone has no "
               "32-bit loader; wine32 needs the i386 architecture); the 32-bit build is still "
               "made and checked without running it. Wine said: " +
               said;
    }();
    return reason;
}

// Why the runs of this architecture cannot be made here; empty when they can.
std::string WhyNotRunnable(const Arch& arch) {
    if (const std::string why = WhyWineCannotRun(); !why.empty())
        return why;
    if (std::string(arch.tool).empty() || !fs::exists(arch.tool))
        return std::string("the ") + arch.label + " dllinstall.exe was not built (no mingw-w64)";
    if (!fs::exists(Helper(arch, "probe.exe")) || !fs::exists(Helper(arch, "planted.dll")))
        return std::string("the ") + arch.label + " helper programs were not built";
    if (testing_support::Fixture(arch.offeredDll).empty() ||
        testing_support::Fixture(arch.installedDll).empty())
        return "the fixture DLLs were not built";
    return arch.is32Bit ? WhyNo32BitRuns() : std::string();
}

// A product folder in a fresh temporary folder: the tool, and LIB with what a test puts in.
class ProgramFolder {
  public:
    explicit ProgramFolder(const Arch& arch) {
        fs::copy_file(arch.tool, folder_ / "dllinstall.exe");
        fs::create_directory(Lib());
    }
    fs::path Path() const { return folder_.path(); }
    fs::path Lib() const { return folder_ / "LIB"; }
    WineResult Run(const std::string& overrides = "", const std::string& debug = "-all",
                   const fs::path& errorFile = {}) const {
        WineRun run(folder_ / "dllinstall.exe", {}, Path());
        run.overrides = overrides;
        run.debug = debug;
        run.errorFile = errorFile;
        return RunUnderWine(run);
    }

  private:
    TempFolder folder_{"dllinstall-release"};
};

// The markers planted DLLs left, that is, the names of those that were loaded.
std::vector<std::string> Markers(const fs::path& folder) {
    std::vector<std::string> loaded;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 7 && name.compare(name.size() - 7, 7, ".loaded") == 0)
            loaded.push_back(name);
    }
    return loaded;
}

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string DescribeRun(const WineResult& run) {
    return "exit status " + std::to_string(run.status) + (run.retried ? " (run twice)" : "") +
           "\n" + run.failure + "\n--- stdout\n" + run.out + "--- stderr\n" + run.err;
}

class PlantingUnderWine : public testing::TestWithParam<Arch> {
  protected:
    void SetUp() override {
        if (const std::string why = WhyNotRunnable(GetParam()); !why.empty())
            GTEST_SKIP() << why;
    }

    // LIB offers a newer copy of a DLL that is installed already, so that the run reads both
    // versions and version.dll is called.
    fs::path OfferNewerCopy(const ProgramFolder& program, SystemFolderFiles& claimed) const {
        const std::string name = "dllinstall-release-planting.dll";
        const fs::path installed = claimed.Claim(SystemFolderOf(GetParam()), name);
        fs::copy_file(testing_support::Fixture(GetParam().installedDll), installed);
        fs::copy_file(testing_support::Fixture(GetParam().offeredDll), program.Lib() / name);
        return installed;
    }
};

// Runs the probe in a folder of its own beside a planted copy of the DLL, with Wine told to
// prefer that copy ("n,b") as Windows does for any DLL that is no KnownDLL, and the probe's
// argument making it load the DLL by its bare name: the planted copy must be loaded, or a test
// could not see a planted load at all. Returns the run, ready to be made again.
WineRun ExpectPlantedCopyLoadedByName(const TempFolder& folder, const Arch& arch,
                                      const std::string& dll, const std::string& argument) {
    fs::copy_file(Helper(arch, "probe.exe"), folder / "probe.exe");
    fs::copy_file(Helper(arch, "planted.dll"), folder / (dll + ".dll"));
    WineRun probe(folder / "probe.exe", {argument}, folder.path());
    probe.overrides = Lowered(dll) + "=n,b";
    const WineResult run = RunUnderWine(probe);
    EXPECT_EQ(Markers(folder.path()), std::vector<std::string>{dll + ".dll.loaded"})
        << DescribeRun(run);
    return probe;
}

// The scenarios "planted_*_libraries_are_never_loaded" run the tool with the same override.
TEST_P(PlantingUnderWine, ShellFolderDllLoadedByBareNameIsThePlantedCopy) {
    TempFolder folder("dllinstall-release-control");
    ExpectPlantedCopyLoadedByName(folder, GetParam(), "SHFolder", "shfolder");
}

// Wine's own user32.dll imports version.dll, so under Wine a planted copy reaches every program
// using user32 before main(); the probe, which does not use user32, shows instead what the
// tool's run-time load of version.dll does on Windows.
TEST_P(PlantingUnderWine, VersionDllLoadedAtRunTimeComesFromTheSystemFolder) {
    TempFolder folder("dllinstall-release-version");
    const WineRun byName =
        ExpectPlantedCopyLoadedByName(folder, GetParam(), "version", "version-by-name");
    if (HasFailure())
        return;
    fs::remove(folder / "version.dll.loaded");

    WineRun asTheToolDoes = byName;
    asTheToolDoes.arguments = {"version"};
    const WineResult run = RunUnderWine(asTheToolDoes);
    ASSERT_EQ(run.status, 0) << DescribeRun(run);
    EXPECT_TRUE(std::regex_search(run.out, std::regex("version [1-9]")))
        << "the system's version.dll should have read kernel32.dll's version\n"
        << DescribeRun(run);
    EXPECT_EQ(Markers(folder.path()), std::vector<std::string>{}) << DescribeRun(run);
}

// One call the tool made, from a Wine relay trace.
struct Call {
    std::string function; // "KERNEL32.LoadLibraryA"
    std::string arguments;
};

// The calls into system DLLs that code inside the tool's own image made, in order, found by
// the thread and load address that the trace's "Loaded ... dllinstall.exe" line gives.
std::vector<Call> CallsOfTheTool(const fs::path& trace, uint32_t imageSize) {
    static const std::regex loaded(
        R"(^([0-9a-f]+):trace:loaddll:.*dllinstall\.exe" at ([0-9A-Fa-f]+): native)");
    static const std::regex call(R"(^([0-9a-f]+):Call ([\w.]+)\((.*)\) ret=([0-9a-f]+)$)");
    std::ifstream in(trace);
    std::string thread;
    uint64_t base = 0;
    std::vector<Call> calls;
    std::smatch match;
    for (std::string line; std::getline(in, line);) {
        if (thread.empty() && std::regex_search(line, match, loaded)) {
            thread = match[1];
            base = std::stoull(match[2], nullptr, 16);
        } else if (!thread.empty() && line.rfind(thread + ":Call ", 0) == 0 &&
                   std::regex_match(line, match, call)) {
            const uint64_t from = std::stoull(match[4], nullptr, 16);
            if (from >= base && from - base < imageSize)
                calls.push_back({match[2], match[3]});
        }
    }
    return calls;
}

bool IsLibraryLoad(const Call& call) {
    return call.function.find(".LoadLibrary") != std::string::npos;
}

// The tool's side of the planting story, seen in its own calls: it confines the DLL search to
// system32 before it loads any DLL, and loads version.dll and SHFolder.dll from there only.
TEST_P(PlantingUnderWine, ToolConfinesTheDllSearchBeforeItLoadsAnyDll) {
    ProgramFolder program(GetParam());
    SystemFolderFiles claimed;
    OfferNewerCopy(program, claimed);
    TempFolder traceFolder("dllinstall-release-trace");
    const fs::path trace = traceFolder / "relay.txt";
    const WineResult run = program.Run("", "+relay,+loaddll", trace);
    ASSERT_EQ(run.status, 0) << DescribeRun(run);
    const std::vector<Call> calls =
        CallsOfTheTool(trace, PeFile(program.Path() / "dllinstall.exe").SizeOfImage());
    ASSERT_FALSE(calls.empty()) << "no calls of the tool found in the relay trace";
    size_t confined = calls.size(), versionLoad = calls.size(), shellFolderLoad = calls.size();
    for (size_t i = calls.size(); i-- > 0;) {
        if (calls[i].function.find(".SetDefaultDllDirectories") != std::string::npos)
            confined = i;
        else if (IsLibraryLoad(calls[i]) &&
                 calls[i].arguments.find("\"version.dll\"") != std::string::npos)
            versionLoad = i;
        else if (IsLibraryLoad(calls[i]) &&
                 calls[i].arguments.find("\"SHFolder.dll\"") != std::string::npos)
            shellFolderLoad = i;
    }
    ASSERT_LT(confined, calls.size()) << "the tool never called SetDefaultDllDirectories";
    EXPECT_EQ(calls[confined].arguments, "00000800") << "not LOAD_LIBRARY_SEARCH_SYSTEM32";
    for (size_t i = 0; i < confined; ++i)
        EXPECT_FALSE(IsLibraryLoad(calls[i]) || calls[i].function.rfind("version.", 0) == 0)
            << calls[i].function << "(" << calls[i].arguments
            << ") came before the search was confined";
    for (const auto& [load, name] :
         {std::pair(versionLoad, "version.dll"), std::pair(shellFolderLoad, "SHFolder.dll")}) {
        ASSERT_LT(load, calls.size()) << name << " was not loaded by the tool";
        EXPECT_NE(calls[load].arguments.find(",00000800"), std::string::npos)
            << name << " is loaded without LOAD_LIBRARY_SEARCH_SYSTEM32";
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, PlantingUnderWine, testing::Values(kX64, kX86),
                         [](const testing::TestParamInfo<Arch>& info) {
                             return std::string(info.param.label);
                         });

// The ANSI code page a probe program runs with under Wine, or 0 when it did not say.
unsigned ProbedCodePage(const std::string& probe) {
    TempFolder folder("dllinstall-release-acp");
    const WineResult run = RunUnderWine(WineRun(Helper(kX64, probe), {"acp"}, folder.path()));
    std::smatch match;
    return std::regex_search(run.out, match, std::regex("acp ([0-9]+)"))
               ? static_cast<unsigned>(std::stoul(match[1]))
               : 0;
}

// Under LC_ALL=C.UTF-8 Wine gives programs the ANSI code page 1252, where a Greek name has no
// spelling, and a manifest's activeCodePage makes the "A" calls UTF-8: the ground the scenario
// "names_outside_the_default_ansi_code_page" stands on.
TEST(CodePagesUnderWine, AManifestAskingForUtf8GetsItWhereTheLocaleAloneDoesNot) {
    if (const std::string why = WhyNotRunnable(kX64); !why.empty())
        GTEST_SKIP() << why;
    if (!fs::exists(Helper(kX64, "probe_manifest.exe")))
        GTEST_SKIP() << "the probe that asks for UTF-8 was not built (no windres)";
    const unsigned withManifest = ProbedCodePage("probe_manifest.exe");
    EXPECT_EQ(withManifest, 65001u) << "a program whose manifest asks for UTF-8";
    EXPECT_NE(ProbedCodePage("probe.exe"), 65001u)
        << "the locale alone gives UTF-8 here, so this run could not show the manifest's part";
}

// What the tool's main thread did with the console's code page, in order, from a relay trace:
// "reported X" (GetConsoleOutputCP), "set X" (SetConsoleOutputCP), and "write" for a run of
// writes; the code page calls count only when made from the tool's own image.
std::vector<std::string> ConsoleCodePageEvents(const fs::path& trace, uint32_t imageSize) {
    static const std::regex loaded(
        R"(^([0-9a-f]+):trace:loaddll:.*dllinstall\.exe" at ([0-9A-Fa-f]+): native)");
    static const std::regex event(
        R"(^[0-9a-f]+:(?:Ret  KERNEL32\.GetConsoleOutputCP\(\) retval=([0-9a-f]+)|)"
        R"(Call KERNEL32\.SetConsoleOutputCP\(([0-9a-f]+)\)|Call KERNEL32\.Write(?:File|Console\w*)\().*ret=([0-9a-f]+)$)");
    std::ifstream in(trace);
    std::string thread;
    uint64_t base = 0;
    std::vector<std::string> events;
    std::smatch match;
    for (std::string line; std::getline(in, line);) {
        if (thread.empty() && std::regex_search(line, match, loaded)) {
            thread = match[1];
            base = std::stoull(match[2], nullptr, 16);
            continue;
        }
        if (thread.empty() || line.rfind(thread + ":", 0) != 0 ||
            !std::regex_match(line, match, event))
            continue;
        const uint64_t from = std::stoull(match[3], nullptr, 16);
        const bool fromTool = from >= base && from - base < imageSize;
        if (match[1].matched && fromTool)
            events.push_back("reported " + match[1].str());
        else if (match[2].matched && fromTool)
            events.push_back("set " + match[2].str());
        else if (!match[1].matched && !match[2].matched &&
                 (events.empty() || events.back() != "write"))
            events.push_back("write");
    }
    return events;
}

// Wine gives a program in a terminal a console in the OEM code page (437 under C.UTF-8); the
// tool writes UTF-8 (its manifest's ANSI code page), so the console shows UTF-8 while the tool
// writes, and has its own code page back at exit. Without a console nothing is switched.
TEST(ConsoleUnderWine, ShowsUtf8WhileTheToolWritesAndGetsItsCodePageBack) {
    if (const std::string why = WhyNotRunnable(kX64); !why.empty())
        GTEST_SKIP() << why;
    TempFolder traceFolder("dllinstall-release-console");
    for (const bool console : {true, false}) {
        SCOPED_TRACE(console ? "in a terminal" : "with pipes only");
        ProgramFolder program(kX64);
        WineRun run(program.Path() / "dllinstall.exe", {}, program.Path());
        run.debug = "+relay,+loaddll";
        run.errorFile = traceFolder / (console ? "console.txt" : "pipes.txt");
        run.console = console;
        const WineResult result = RunUnderWine(run);
        ASSERT_EQ(result.status, 0) << DescribeRun(result);
        EXPECT_FALSE(result.out.empty()) << DescribeRun(result); // a terminal's, in escape codes
        const std::vector<std::string> events = ConsoleCodePageEvents(
            run.errorFile, PeFile(program.Path() / "dllinstall.exe").SizeOfImage());
        ASSERT_FALSE(events.empty()) << "nothing of the tool's found in the relay trace";
        if (!console) {
            EXPECT_EQ(events, (std::vector<std::string>{"reported 00000000", "write"}));
            continue;
        }
        ASSERT_EQ(events.size(), 4u) << testing::PrintToString(events);
        EXPECT_NE(events[0], "reported 00000000") << "Wine gave the terminal run no console";
        EXPECT_NE(events[0], "reported 0000fde9") << "the console was in UTF-8 already";
        EXPECT_EQ(events[1], "set 0000fde9");
        EXPECT_EQ(events[2], "write");
        EXPECT_EQ(events[3], "set " + events[0].substr(std::string("reported ").size()));
    }
}

// A run that finds the run lock held says so on the console, once, waits, and finishes; the log
// holds only what it did. The probe holds the lock the way another run would.
TEST(RunLockUnderWine, ARunThatWaitsSaysSoOnTheConsoleButNotInTheLog) {
    if (const std::string why = WhyNotRunnable(kX64); !why.empty())
        GTEST_SKIP() << why;
    ProgramFolder program(kX64);
    TempFolder probeFolder("dllinstall-release-lock");
    auto holder = std::async(std::launch::async, [&] {
        return RunUnderWine(
            WineRun(Helper(kX64, "probe.exe"), {"hold-run-lock"}, probeFolder.path()));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    WineResult run = program.Run();
    const WineResult held = holder.get();
    ASSERT_NE(held.out.find("run lock held"), std::string::npos) << DescribeRun(held);
    ASSERT_EQ(run.status, 0) << DescribeRun(run);
    run.out.erase(std::remove(run.out.begin(), run.out.end(), '\r'), run.out.end());
    EXPECT_EQ(run.out, "Starting installation procedure...\n"
                       "Waiting for another installation into 'C:\\windows\\system32' to end...\n"
                       "Copying required DLLs to the system folder...\n"
                       "Installation is successfully complited.\n");
    EXPECT_EQ(ReadBytes(program.Path() / "InstallLog_DLL.txt"),
              "Starting installation procedure...\r\n"
              "Copying required DLLs to the system folder...\r\n"
              "Installation is successfully complited.\r\n");
}

} // namespace

} // namespace release
