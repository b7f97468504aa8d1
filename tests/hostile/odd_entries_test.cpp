// Odd things where the tool expects DLLs: a LIB that is a file, DLLs of no bytes, version
// resources that lie about their sizes, and names that differ only in case.
#include "tool_run.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace {

using namespace tool_run;
using testing_support::Fixture;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

void ExpectEveryDllInstalledAsItWas(const Tree& lib, const fs::path& system) {
    for (const auto& [name, entry] : lib) {
        if (entry.kind == 'f') {
            EXPECT_EQ(ReadBytes(system / name), entry.bytes) << name;
        }
    }
}

TEST(OddEntries, LibThatIsAFileCountsAsNoLibFolder) {
    Installation setup("dllinstall-libfile");
    fs::remove(setup.lib);
    WriteBytes(setup.lib, "not a folder");
    const RunResult run = setup.Run();
    const std::string folder = DosPathOf(setup.program);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console, "Starting installation procedure...\n"
                           "Copy from '" +
                               folder +
                               "\\Tarvik.dll'\r\n"
                               "to 'C:\\windows\\system32\\Tarvik.dll'\n"
                               "Error: The '" +
                               folder +
                               "\\LIB'\r\n"
                               "source folder isn't exist.\n"
                               "Installation is successfully complited.\n");
    EXPECT_EQ(ReadBytes(setup.lib), "not a folder");
    EXPECT_EQ(setup.Log(), LogFromConsole(run.console));
}

TEST(OddEntries, DllOfNoBytesIsCopiedAndReplacesLikeAnUnversionedOne) {
    Installation setup("dllinstall-empty");
    WriteBytes(setup.lib / "empty.dll", "");
    WriteBytes(setup.lib / "was_empty.dll", Filler(5000, 1));
    WriteBytes(setup.system / "was_empty.dll", "");
    const Tree lib = Snapshot(setup.lib);
    const RunResult run = setup.Run();
    EXPECT_EQ(run.status, 0) << run.console;
    EXPECT_TRUE(fs::is_regular_file(setup.system / "empty.dll"));
    ExpectEveryDllInstalledAsItWas(lib, setup.system);
    EXPECT_FALSE(fs::exists(setup.lib));
}

// Two names that NTFS would take for one: both are copied onto the same file, in the same
// order whatever order the host lists them in, so the result never depends on the host.
TEST(OddEntries, NamesDifferingOnlyInCaseAreInstalledInAFixedOrder) {
    for (bool lowerFirst : {true, false}) {
        Installation setup("dllinstall-case");
        const std::vector<std::string> names =
            lowerFirst ? std::vector<std::string>{"dup.dll", "DUP.dll", "Dup.dll"}
                       : std::vector<std::string>{"Dup.dll", "DUP.dll", "dup.dll"};
        for (const std::string& name : names)
            WriteBytes(setup.lib / name, name);
        const RunResult run = setup.Run();
        const std::string lib = DosPathOf(setup.lib) + "\\";
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.console.find("Copy from '" + lib +
                                   "DUP.dll'\r\nto 'C:\\windows\\system32\\DUP.dll'\n"
                                   "Copy from '" +
                                   lib +
                                   "Dup.dll'\r\nto 'C:\\windows\\system32\\Dup.dll'\n"
                                   "Copy from '" +
                                   lib + "dup.dll'\r\nto 'C:\\windows\\system32\\dup.dll'\n"),
                  std::string::npos)
            << run.console;
        // The first copy names the file; the later ones replace it and keep that name.
        EXPECT_EQ(ReadBytes(setup.system / "DUP.dll"), "dup.dll");
        EXPECT_FALSE(fs::exists(setup.system / "dup.dll"));
        EXPECT_FALSE(fs::exists(setup.system / "Dup.dll"));
    }
}

// Version resources that lie about their sizes, derived from a fixture one field at a time.
class LyingVersion {
  public:
    explicit LyingVersion(std::string dll)
        : dll_(std::move(dll)), info_(Find(u"VS_VERSION_INFO")) {}

    bool usable() const { return info_ != std::string::npos && DataEntry() != std::string::npos; }

    // name -> bytes of every variant.
    std::vector<std::pair<std::string, std::string>> Variants() const {
        const size_t product = Find(u"ProductVersion");
        const size_t entry = DataEntry();
        return {
            {"root_length_huge", With(info_, 0xFFFF, 2)},
            {"root_length_zero", With(info_, 0, 2)},
            {"root_value_length_huge", With(info_ + 2, 0xFFFF, 2)},
            {"string_length_huge", With(product - 6, 0xFFFF, 2)},
            {"string_value_length_huge", With(product - 4, 0xFFFF, 2)},
            {"resource_size_huge", With(entry + 4, 0x7FFFFFFF, 4)},
            {"resource_offset_outside", With(entry, 0x7FFFFFF0, 4)},
            {"cut_inside_version", dll_.substr(0, info_ + 40)},
            {"cut_inside_headers", dll_.substr(0, 300)},
        };
    }

  private:
    // A key is UTF-16 text after three WORDs: wLength, wValueLength and wType.
    size_t Find(const std::u16string& key) const {
        std::string bytes;
        for (char16_t c : key) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        const size_t at = dll_.find(bytes);
        return at == std::string::npos || at < 6 ? std::string::npos : at - 6;
    }

    uint32_t Read(size_t at, int size) const {
        uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(dll_.at(at + i));
        return value;
    }

    std::string With(size_t at, uint32_t value, int size) const {
        std::string bytes = dll_;
        for (int i = 0; i < size; ++i)
            bytes.at(at + i) = static_cast<char>(value >> (8 * i));
        return bytes;
    }

    // The IMAGE_RESOURCE_DATA_ENTRY whose OffsetToData is the version block's address.
    size_t DataEntry() const {
        const size_t header = Read(0x3C, 4);
        const size_t sections = header + 24 + Read(header + 20, 2);
        for (size_t i = 0; i < Read(header + 6, 2); ++i) {
            const size_t section = sections + 40 * i;
            const size_t raw = Read(section + 20, 4);
            if (info_ < raw || info_ >= raw + Read(section + 16, 4))
                continue;
            const uint32_t address = Read(section + 12, 4) + static_cast<uint32_t>(info_ - raw);
            for (size_t at = raw; at + 8 <= raw + Read(section + 16, 4); at += 4) {
                if (Read(at, 4) == address && Read(at + 4, 4) >= Read(info_, 2))
                    return at;
            }
        }
        return std::string::npos;
    }

    std::string dll_;
    size_t info_;
};

TEST(OddEntries, DllsWhoseVersionResourceLiesAreCopiedWithoutACrash) {
    if (Fixture("v1.0.0.0.dll").empty() || Fixture("v2.0.0.0.dll").empty())
        GTEST_SKIP() << "fixture DLLs are missing";
    const LyingVersion offered(ReadBytes(Fixture("v2.0.0.0.dll")));
    const LyingVersion installed(ReadBytes(Fixture("v1.0.0.0.dll")));
    ASSERT_TRUE(offered.usable() && installed.usable())
        << "the fixture's layout is not as expected";
    Installation setup("dllinstall-lying");
    for (const auto& [name, bytes] : offered.Variants()) {
        WriteBytes(setup.lib / ("new_" + name + ".dll"), bytes);
        WriteBytes(setup.lib / ("over_" + name + ".dll"), bytes);
        fs::copy_file(Fixture("v1.0.0.0.dll"), setup.system / ("over_" + name + ".dll"));
    }
    for (const auto& [name, bytes] : installed.Variants()) {
        fs::copy_file(Fixture("v2.0.0.0.dll"), setup.lib / ("under_" + name + ".dll"));
        WriteBytes(setup.system / ("under_" + name + ".dll"), bytes);
    }
    const Tree lib = Snapshot(setup.lib);
    const RunResult run = setup.Run();
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.status, 0) << run.console;
    EXPECT_EQ(run.errors, "");
    ExpectEveryDllInstalledAsItWas(lib, setup.system);
    EXPECT_FALSE(fs::exists(setup.lib));
}

} // namespace
