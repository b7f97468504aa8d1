#include "sweep_scene.h"

#include "test_support.h"

#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace faultinject {

namespace {

struct LibraryPlan {
    const char* name;
    const char* fixture;     // a fixture DLL, "" for bytes that are no PE file at all
    size_t size;             // padded with trailing bytes up to this size (0: nothing at all)
    const char* installedAs; // the name a copy already in the prefix has, or nullptr
    const char* installedFixture;
    size_t installedSize;
    bool installedIsNewer;
};

constexpr size_t KiB = 1024;

// Sizes from nothing to 2 MiB; alpha, zeta and iota are older than the installed copies, and
// Beta is installed under another case, which the replaced file keeps.
const LibraryPlan kLibraries[] = {
    {"alpha.dll", "v1.0.0.0.dll", 16 * KiB, "alpha.dll", "v2.0.0.0.dll", 40 * KiB, true},
    {"Beta.dll", "v2.5.0.0.dll", 2048 * KiB, "beta.DLL", "v1.2.3.4.dll", 24 * KiB, false},
    {"gamma.dll", "v1.2.3.5.dll", 512 * KiB, "gamma.dll", "v1.2.3.4.dll", 16 * KiB, false},
    {"delta.dll", "v3.0.0.0.dll", 1024 * KiB, nullptr, nullptr, 0, false},
    {"epsilon.dll", "unversioned.dll", 64 * KiB, "epsilon.dll", "v1.0.0.0.dll", 20 * KiB, false},
    {"zeta.dll", "v1.2.3.4.dll", 32 * KiB, "zeta.dll", "v1.2.3.5.dll", 16 * KiB, true},
    {"eta.dll", "v2.0.0.0.dll", 128 * KiB, "eta.dll", "v2.0.0.0.dll", 14 * KiB, false},
    {"theta.dll", "", 4 * KiB, nullptr, nullptr, 0, false},
    {"iota.dll", "v1.0.0.0.dll", 256 * KiB, "iota.dll", "v3.0.0.0.dll", 16 * KiB, true},
    {"kappa_x.dll", "v2.5.0.0.dll", 13 * KiB, nullptr, nullptr, 0, false},
    {"kappaX.dll", "v1.2.3.4.dll", 20 * KiB, nullptr, nullptr, 0, false},
    {"lambda.dll", "v1.2.3.4.dll", 1536 * KiB, nullptr, nullptr, 0, false},
    {"mu.dll", "", 0, nullptr, nullptr, 0, false},
};

// A fixture padded with bytes of its own, so that every file of the scene is told apart.
bool WritePadded(const fs::path& file, const std::string& fixture, size_t size, unsigned salt) {
    std::string bytes;
    if (!fixture.empty()) {
        const fs::path source = testing_support::Fixture(fixture);
        if (source.empty())
            return false;
        bytes = testing_support::ReadBytes(source);
    }
    if (bytes.size() < size)
        bytes += Filler(size - bytes.size(), salt);
    testing_support::WriteBytes(file, bytes);
    return true;
}

} // namespace

fs::path ScratchBase() {
    if (const char* chosen = std::getenv("DLLINSTALL_SWEEP_DIR"); chosen && *chosen)
        return chosen;
    if (fs::is_directory("/dev/shm") && access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return fs::temp_directory_path();
}

SweepScene::SweepScene(const fs::path& root, const fs::path& tool)
    : tool_(tool.empty() ? fs::path(DLLINSTALL_LINUX_EXE) : tool), pristine_(root / "pristine"),
      work_(root / "work"), program_(work_ / "program"), prefix_(work_ / "prefix") {
    ready_ = Build();
}

bool SweepScene::Build() {
    const fs::path program = pristine_ / "program";
    const fs::path prefix = pristine_ / "prefix";
    const fs::path system = SystemFolderOf(prefix);
    testing_support::MakePrefix(prefix, {.driveLinks = true});
    bool ok = WritePadded(program / "Tarvik.dll", "v2.0.0.0.dll", 96 * KiB, 1) &&
              WritePadded(system / "Tarvik.dll", "v1.0.0.0.dll", 20 * KiB, 2);
    unsigned salt = 10;
    for (const LibraryPlan& library : kLibraries) {
        ok = ok &&
             WritePadded(program / "LIB" / library.name, library.fixture, library.size, ++salt);
        if (library.installedAs)
            ok = ok && WritePadded(system / library.installedAs, library.installedFixture,
                                   library.installedSize, ++salt);
        libraries_.push_back(library.name);
        if (library.installedIsNewer)
            keptInstalled_.push_back(library.name);
    }
    testing_support::WriteBytes(program / "LIB" / "README.txt", "Not a library.\r\n");
    ok = ok && WritePadded(program / "LIB" / "sub" / "inner.dll", "v1.0.0.0.dll", 0, 0);
    testing_support::WriteBytes(program / "LIB" / "sub" / "notes.txt", "Inside a subfolder.\r\n");
    testing_support::WriteBytes(system / "kernel32.dll", Filler(8 * KiB, 3));
    fs::copy_file(tool_, pristine_ / kToolName);
    return ok;
}

void SweepScene::Refresh() const {
    fs::remove_all(work_);
    fs::create_directories(work_);
    fs::copy(pristine_ / "program", program_,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    fs::copy(pristine_ / "prefix", prefix_,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    // The tool is linked, not copied: it is the largest file here and never written.
    fs::create_hard_link(pristine_ / kToolName, program_ / kToolName);
}

} // namespace faultinject
