// What both Windows executables carry: only DLLs every Windows has, no version.dll import,
// the manifest Windows reads at start, the project's version and the release's time; and the
// package they ship in.
#include "pe_file.h"
#include "pe_version.h"
#include "test_support.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

namespace release {

namespace {

namespace fs = std::filesystem;
using testing_support::ImportedDll;
using testing_support::kRtManifest;
using testing_support::kRtVersion;
using testing_support::ParseVersionResource;
using testing_support::PeFile;
using testing_support::VersionResource;

constexpr uint16_t kDynamicBase = 0x0040, kNxCompat = 0x0100, kHighEntropyVa = 0x0020;

struct Executable {
    const char* label;
    const char* path;
    const char* toolchain;
    uint16_t machine;
    bool pe32Plus;
};

const Executable kExecutables[] = {
    {"x64", DLLINSTALL_WINDOWS_EXE, "x86_64-w64-mingw32", 0x8664, true},
    {"x86", DLLINSTALL_WINDOWS32_EXE, "i686-w64-mingw32", 0x014C, false},
};

void PrintTo(const Executable& executable, std::ostream* out) {
    *out << executable.label;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

class ReleaseExecutable : public testing::TestWithParam<Executable> {
  protected:
    void SetUp() override {
        const std::string path = GetParam().path;
        if (path.empty() || !fs::exists(path))
            GTEST_SKIP() << "the " << GetParam().label << " dllinstall.exe was not built (no "
                         << GetParam().toolchain << " toolchain)";
        image_ = std::make_unique<PeFile>(fs::path(path));
    }

    std::unique_ptr<PeFile> image_;
};

TEST_P(ReleaseExecutable, IsAConsoleProgramForItsArchitectureWithAslrAndDep) {
    EXPECT_EQ(image_->Machine(), GetParam().machine);
    EXPECT_EQ(image_->IsPe32Plus(), GetParam().pe32Plus);
    EXPECT_EQ(image_->Subsystem(), 3) << "not a console program";
    const uint16_t wanted = kDynamicBase | kNxCompat | (GetParam().pe32Plus ? kHighEntropyVa : 0);
    EXPECT_EQ(image_->DllCharacteristics() & wanted, wanted);
    // Without relocations Windows cannot move the image, whatever the header asks for.
    EXPECT_NE(image_->Directory(5).second, 0u) << "no base relocations";
}

// The link's time is the release's, so that a build of the same commit gives the same bytes.
TEST_P(ReleaseExecutable, CarriesTheReleaseTimeAsItsLinkTime) {
    EXPECT_EQ(image_->TimeDateStamp(), std::stoul(DLLINSTALL_SOURCE_DATE_EPOCH));
}

// The DLLs of a bare Windows that the tool may load at start, msvcrt.dll being the C runtime
// the system itself keeps in system32 (version.dll is not among them: see the next test).
TEST_P(ReleaseExecutable, ImportsOnlyDllsEveryWindowsHas) {
    const std::set<std::string> allowed = {"kernel32.dll", "user32.dll",   "shlwapi.dll",
                                           "ole32.dll",    "advapi32.dll", "msvcrt.dll"};
    const std::regex runtime("libstdc\\+\\+|libgcc|libwinpthread|vcruntime|msvcp|ucrtbase|"
                             "api-ms-win-crt");
    std::set<std::string> imported;
    for (const ImportedDll& dll : image_->Imports()) {
        const std::string name = Lower(dll.name);
        imported.insert(name);
        EXPECT_FALSE(std::regex_search(name, runtime))
            << dll.name << " is a compiler runtime: the runtimes must be linked in";
        EXPECT_TRUE(allowed.count(name)) << dll.name << " is not a DLL every Windows has";
    }
    EXPECT_TRUE(imported.count("kernel32.dll"));
}

// version.dll is no KnownDLL, so imported, plainly or delay-loaded, it would be looked up in
// the program folder; the tool loads it at run time from the system folder instead.
TEST_P(ReleaseExecutable, ImportsNoVersionDllAndDelayLoadsNothing) {
    for (const ImportedDll& dll : image_->Imports())
        EXPECT_NE(Lower(dll.name), "version.dll") << "version.dll is imported at start";
    for (const ImportedDll& dll : image_->DelayImports())
        ADD_FAILURE() << dll.name << " is delay-loaded";
}

TEST_P(ReleaseExecutable, EmbedsTheManifestWindowsReadsAtStart) {
    ASSERT_EQ(image_->ResourceIds(kRtManifest), std::vector<uint32_t>{1})
        << "Windows reads the manifest of a program from RT_MANIFEST 1, and only one";
    const std::string manifest = image_->Resource(kRtManifest, 1);
    EXPECT_EQ(manifest, testing_support::ReadBytes(fs::path(DLLINSTALL_SOURCE_DIR) / "res" /
                                                   "dllinstall.manifest"));
    const auto has = [&](const std::string& pattern) {
        return std::regex_search(manifest, std::regex(pattern));
    };
    EXPECT_TRUE(has(R"(<requestedExecutionLevel\s+level="requireAdministrator"\s+)"
                    R"(uiAccess="false"\s*/>)"));
    for (const char* windows : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a",  // 7
                                "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",  // 8
                                "1f676c76-80e1-4239-95bb-83d0f6d0da78",  // 8.1
                                "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) // 10 and 11
        EXPECT_TRUE(has(std::string(R"(<supportedOS\s+Id="\{)") + windows + R"(\}"\s*/>)"))
            << windows;
    EXPECT_TRUE(has(R"(<windowsSettings>\s*(<!--[\s\S]*?-->\s*)*<activeCodePage\s+)"
                    R"(xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">)"
                    R"(UTF-8</activeCodePage>)"));
}

// "1.2.3" as the two 32-bit halves of a fixed version, 1.2.3.0.
std::pair<uint32_t, uint32_t> FixedVersion(const std::string& text) {
    uint32_t parts[4] = {0, 0, 0, 0};
    std::istringstream in(text);
    std::string part;
    for (int i = 0; i < 4 && std::getline(in, part, '.'); ++i)
        parts[i] = static_cast<uint32_t>(std::stoul(part));
    return {parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]};
}

TEST_P(ReleaseExecutable, CarriesTheProjectVersion) {
    ASSERT_EQ(image_->ResourceIds(kRtVersion), std::vector<uint32_t>{1});
    const VersionResource version = ParseVersionResource(image_->Resource(kRtVersion, 1));
    EXPECT_EQ(version.signature, 0xFEEF04BDu);
    const auto fixed = FixedVersion(DLLINSTALL_PROJECT_VERSION);
    EXPECT_EQ(std::make_pair(version.fileVersionMs, version.fileVersionLs), fixed);
    EXPECT_EQ(std::make_pair(version.productVersionMs, version.productVersionLs), fixed);
    EXPECT_EQ(version.fileType, 1u) << "VFT_APP";
    EXPECT_EQ(version.fileOs, 0x00040004u) << "VOS_NT_WINDOWS32";
    EXPECT_EQ(version.translations, std::vector<uint32_t>{1200u << 16 | 0x0409u});
    ASSERT_EQ(version.stringTables.size(), 1u);
    ASSERT_TRUE(version.stringTables.count("040904b0"));
    auto strings = version.stringTables.at("040904b0");
    EXPECT_EQ(strings["ProductName"], "dllinstall");
    EXPECT_EQ(strings["OriginalFilename"], "dllinstall.exe");
    EXPECT_EQ(strings["FileVersion"], DLLINSTALL_PROJECT_VERSION);
    EXPECT_EQ(strings["ProductVersion"], DLLINSTALL_PROJECT_VERSION);
    EXPECT_FALSE(strings["FileDescription"].empty());
}

INSTANTIATE_TEST_SUITE_P(Builds, ReleaseExecutable, testing::ValuesIn(kExecutables),
                         [](const testing::TestParamInfo<Executable>& info) {
                             return std::string(info.param.label);
                         });

// Runs a command line through the shell in the folder; true when it exits 0.
bool RunShell(const fs::path& folder, const std::string& command) {
    const std::string line = "cd '" + folder.string() + "' && " + command + " >command.log 2>&1";
    return std::system(line.c_str()) == 0;
}

TEST(ReleasePackage, HoldsTheThreeExecutablesTheReadmeAndTheirSums) {
    const fs::path config = fs::path(DLLINSTALL_BINARY_DIR) / "CPackConfig.cmake";
    const std::string x64 = DLLINSTALL_WINDOWS_EXE, x86 = DLLINSTALL_WINDOWS32_EXE;
    if (x64.empty() || x86.empty() || !fs::exists(config))
        GTEST_SKIP() << "both Windows builds are needed for the package (mingw-w64 for x86_64 "
                        "and i686)";
    testing_support::TempFolder work("dllinstall-package");
    ASSERT_TRUE(RunShell(work.path(), std::string("'") + DLLINSTALL_CPACK + "' --config '" +
                                          config.string() + "' -B package"))
        << testing_support::ReadBytes(work / "command.log");
    const std::string stem = std::string("dllinstall-") + DLLINSTALL_PROJECT_VERSION;
    const fs::path zip = work / "package" / (stem + ".zip");
    ASSERT_TRUE(fs::exists(zip)) << "cpack made no " << zip.filename();
    ASSERT_TRUE(RunShell(work.path(), std::string("'") + DLLINSTALL_CMAKE + "' -E tar xf '" +
                                          zip.string() + "'"))
        << testing_support::ReadBytes(work / "command.log");
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(work / stem))
        entries.insert(fs::relative(entry.path(), work / stem).generic_string());
    EXPECT_EQ(entries, (std::set<std::string>{"README.md", "SHA256SUMS", "dllinstall",
                                              "dllinstall.exe", "dllinstall-x86.exe"}));
    using testing_support::ReadBytes;
    EXPECT_TRUE(ReadBytes(work / stem / "dllinstall.exe") == ReadBytes(x64));
    EXPECT_TRUE(ReadBytes(work / stem / "dllinstall-x86.exe") == ReadBytes(x86));
    EXPECT_TRUE(ReadBytes(work / stem / "dllinstall") == ReadBytes(DLLINSTALL_LINUX_EXE));
    EXPECT_EQ(ReadBytes(work / stem / "README.md"),
              ReadBytes(fs::path(DLLINSTALL_SOURCE_DIR) / "res" / "RELEASE.md"));
    // What a user runs on the unpacked folder; every file but the sums themselves is listed.
    EXPECT_TRUE(RunShell(work / stem, "sha256sum --check --strict SHA256SUMS"))
        << testing_support::ReadBytes(work / stem / "command.log");
    std::istringstream sums(ReadBytes(work / stem / "SHA256SUMS"));
    std::set<std::string> summed;
    for (std::string line; std::getline(sums, line);)
        summed.insert(line.substr(line.find("  ") + 2));
    entries.erase("SHA256SUMS");
    EXPECT_EQ(summed, entries);
}

} // namespace

} // namespace release
