// dllinstall.exe must start on a bare Windows: a 64-bit console program that needs no DLL
// beyond the system's own, whether imported plainly or delay-loaded.
#include "process.h"

#include "test_support.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace e2e {

namespace {

// The system's own DLLs; msvcrt.dll is the C runtime that every Windows keeps in system32.
const std::set<std::string> kSystemDlls = {
    "advapi32.dll", "comctl32.dll", "gdi32.dll",    "kernel32.dll", "msvcrt.dll",
    "ntdll.dll",    "ole32.dll",    "oleaut32.dll", "shell32.dll",  "shfolder.dll",
    "shlwapi.dll",  "user32.dll",   "version.dll"};

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

struct Section {
    uint64_t rva, size, fileOffset;
};

class WindowsExecutable : public testing::Test {
  protected:
    void SetUp() override {
        const std::string exe = DLLINSTALL_WINDOWS_EXE, objdump = DLLINSTALL_MINGW_OBJDUMP;
        if (exe.empty() || !std::filesystem::exists(exe))
            GTEST_SKIP() << "dllinstall.exe was not built (no mingw-w64)";
        if (objdump.empty() || !std::filesystem::exists(objdump))
            GTEST_SKIP() << "x86_64-w64-mingw32-objdump is not installed";
        headers_ = Objdump(objdump, "-p", exe);
        sections_ = Objdump(objdump, "-h", exe);
        image_ = testing_support::ReadBytes(exe);
    }

    static std::string Objdump(const std::string& objdump, const std::string& option,
                               const std::string& exe) {
        const testing_support::ProcessResult result = testing_support::RunProcess(
            {{objdump, option, exe}, testing_support::EnvironmentWith({"LC_ALL=C"}), "."});
        EXPECT_EQ(result.failure, "");
        EXPECT_EQ(result.status, 0) << result.err;
        return result.out;
    }

    // The values of the header lines that start with the key, blanks squeezed.
    std::vector<std::string> ValuesOf(const std::string& key) const {
        std::vector<std::string> values;
        std::istringstream lines(headers_);
        for (std::string line; std::getline(lines, line);) {
            const size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line.compare(start, key.size(), key) != 0)
                continue;
            std::istringstream words(line.substr(start + key.size()));
            std::string value, word;
            while (words >> word)
                value += (value.empty() ? "" : " ") + word;
            values.push_back(value);
        }
        return values;
    }

    std::vector<Section> Sections() const;
    std::string TextAt(uint64_t rva) const;
    std::vector<std::string> DelayLoadedDlls() const;

    std::string headers_, sections_, image_;
};

// objdump -h lists each section as: index name size VMA LMA file-offset alignment.
std::vector<Section> WindowsExecutable::Sections() const {
    const uint64_t imageBase = std::stoull(ValuesOf("ImageBase").at(0), nullptr, 16);
    std::vector<Section> sections;
    std::istringstream lines(sections_);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string index, name, size, vma, lma, offset;
        if (!(words >> index >> name >> size >> vma >> lma >> offset) ||
            index.find_first_not_of("0123456789") != std::string::npos)
            continue;
        sections.push_back({std::stoull(vma, nullptr, 16) - imageBase,
                            std::stoull(size, nullptr, 16), std::stoull(offset, nullptr, 16)});
    }
    return sections;
}

// The bytes at an address of the loaded image, up to the end of their section.
std::string WindowsExecutable::TextAt(uint64_t rva) const {
    for (const Section& section : Sections()) {
        if (rva < section.rva || rva >= section.rva + section.size)
            continue;
        const uint64_t offset = section.fileOffset + (rva - section.rva);
        const uint64_t room = section.size - (rva - section.rva);
        return offset < image_.size() ? image_.substr(offset, room) : std::string();
    }
    ADD_FAILURE() << "no section holds address " << std::hex << rva;
    return {};
}

// objdump does not show the delay-load table: its descriptors are read here, 32 bytes each
// with the DLL name's address at byte 4, up to an all-zero one.
std::vector<std::string> WindowsExecutable::DelayLoadedDlls() const {
    std::vector<std::string> names;
    std::istringstream entry(ValuesOf("Entry d").empty() ? "0 0" : ValuesOf("Entry d").at(0));
    std::string rvaText, sizeText;
    entry >> rvaText >> sizeText;
    const uint64_t rva = std::stoull(rvaText, nullptr, 16);
    if (rva == 0)
        return names;
    const std::string table = TextAt(rva);
    for (size_t at = 0; at + 32 <= table.size(); at += 32) {
        uint32_t nameRva = 0;
        memcpy(&nameRva, table.data() + at + 4, sizeof nameRva);
        if (nameRva == 0)
            break;
        const std::string text = TextAt(nameRva);
        names.push_back(text.substr(0, text.find('\0')));
    }
    return names;
}

TEST_F(WindowsExecutable, IsA64BitConsoleProgram) {
    EXPECT_NE(headers_.find("file format pei-x86-64"), std::string::npos);
    EXPECT_EQ(ValuesOf("Magic"), std::vector<std::string>{"020b (PE32+)"});
    EXPECT_EQ(ValuesOf("Subsystem"), std::vector<std::string>{"00000003 (Windows CUI)"});
}

TEST_F(WindowsExecutable, ImportsOnlyTheSystemsOwnDlls) {
    std::vector<std::string> imports = ValuesOf("DLL Name:"), foreign;
    for (const std::string& name : DelayLoadedDlls())
        imports.push_back(name);
    for (std::string& name : imports) {
        name = Lowered(name);
        if (!kSystemDlls.count(name))
            foreign.push_back(name);
    }
    EXPECT_NE(std::find(imports.begin(), imports.end(), "kernel32.dll"), imports.end());
    EXPECT_EQ(foreign, std::vector<std::string>{})
        << "dllinstall.exe needs DLLs that a bare Windows does not have";
}

} // namespace

} // namespace e2e
