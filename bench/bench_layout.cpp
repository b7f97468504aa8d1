#include "bench_layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <span>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace bench {

namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = 1024 * kKiB;

// A small deterministic generator (splitmix64), so that every run builds the same folders.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }

  private:
    uint64_t state_;
};

struct SizeBand {
    double share;
    uint64_t low;
    uint64_t high;
};

// Most DLLs of a product are small; a few runtime and data DLLs are large.
constexpr SizeBand kWideSizes[] = {{0.60, 16 * kKiB, 64 * kKiB},
                                   {0.25, 64 * kKiB, 256 * kKiB},
                                   {0.10, 256 * kKiB, 1 * kMiB},
                                   {0.04, 1 * kMiB, 8 * kMiB},
                                   {0.01, 8 * kMiB, 64 * kMiB}};

// Ten thousand DLLs keep to 1 MiB each, so that the folders stay near 2 GB.
constexpr SizeBand kNarrowSizes[] = {
    {0.70, 16 * kKiB, 64 * kKiB}, {0.22, 64 * kKiB, 256 * kKiB}, {0.08, 256 * kKiB, 1 * kMiB}};

// Ten DLLs: three large ones dominate the bytes, as a product's runtime DLLs do.
constexpr uint64_t kTenSizes[] = {64 * kMiB, 64 * kMiB,  64 * kMiB, 8 * kMiB,  2 * kMiB,
                                  1 * kMiB,  256 * kKiB, 64 * kKiB, 32 * kKiB, 16 * kKiB};

// PE files are whole file-alignment units of 512 bytes.
uint64_t RoundToSectors(double size) {
    const auto bytes = static_cast<uint64_t>(size);
    return std::max<uint64_t>(512, bytes / 512 * 512);
}

// Log-uniform within a band: as many DLLs of 16-32 KiB as of 32-64 KiB.
uint64_t DrawSize(Random& random, std::span<const SizeBand> bands) {
    double pick = random.Unit();
    for (const SizeBand& band : bands) {
        if (pick < band.share || &band == &bands.back()) {
            const double low = std::log(static_cast<double>(band.low));
            const double high = std::log(static_cast<double>(band.high));
            return RoundToSectors(std::exp(low + random.Unit() * (high - low)));
        }
        pick -= band.share;
    }
    return 16 * kKiB;
}

struct VersionPair {
    const char* offered;
    const char* installed;
};

constexpr VersionPair kOlderInstalled[] = {{"v2.0.0.0.dll", "v1.2.3.4.dll"},
                                           {"v1.2.3.5.dll", "v1.2.3.4.dll"},
                                           {"v2.5.0.0.dll", "v2.0.0.0.dll"},
                                           {"v3.0.0.0.dll", "v1.0.0.0.dll"}};
constexpr VersionPair kNewerInstalled[] = {{"v1.2.3.4.dll", "v1.2.3.5.dll"},
                                           {"v2.0.0.0.dll", "v2.5.0.0.dll"},
                                           {"v1.0.0.0.dll", "v3.0.0.0.dll"}};
constexpr const char* kAnyVersion[] = {"v1.0.0.0.dll", "v1.2.3.4.dll", "v2.0.0.0.dll",
                                       "v3.0.0.0.dll"};

// Half of the DLLs replace an older installed copy, a quarter meet a newer one, a quarter
// are new; shuffled so that the outcome does not follow the listing order.
std::vector<Installed> DrawOutcomes(Random& random, int count) {
    std::vector<Installed> outcomes(static_cast<size_t>(count), Installed::Absent);
    std::fill_n(outcomes.begin(), count / 2, Installed::Older);
    std::fill_n(outcomes.begin() + count / 2, count / 4, Installed::Newer);
    for (size_t i = outcomes.size(); i > 1; --i)
        std::swap(outcomes[i - 1], outcomes[random.Below(i)]);
    return outcomes;
}

std::string LibraryName(int index) {
    static constexpr const char* kStems[] = {"TvCore",  "tvnet",   "TvUi",   "TvData",
                                             "tvcodec", "TvPrint", "TvMath", "TVXML"};
    std::ostringstream name;
    name << kStems[index % std::size(kStems)] << index << ".dll";
    return name.str();
}

void AssignVersions(Random& random, Library& library) {
    if (library.installed == Installed::Absent) {
        library.offeredFixture = kAnyVersion[random.Below(std::size(kAnyVersion))];
        return;
    }
    const VersionPair pair = library.installed == Installed::Older
                                 ? kOlderInstalled[random.Below(std::size(kOlderInstalled))]
                                 : kNewerInstalled[random.Below(std::size(kNewerInstalled))];
    library.offeredFixture = pair.offered;
    library.installedFixture = pair.installed;
    // Another build of the same DLL is about as large.
    const double scale = 0.85 + 0.3 * random.Unit();
    library.installedSize =
        std::max<uint64_t>(16 * kKiB, RoundToSectors(library.offeredSize * scale));
}

} // namespace

InstallPlan PlanInstall(int libraryCount) {
    Random random(0x7A2B1C0DULL + static_cast<uint64_t>(libraryCount));
    const std::span<const SizeBand> bands =
        libraryCount > 1000 ? std::span<const SizeBand>(kNarrowSizes) : kWideSizes;
    const std::vector<Installed> outcomes = DrawOutcomes(random, libraryCount);
    InstallPlan plan;
    plan.primarySize = 2 * kMiB;
    for (int i = 0; i < libraryCount; ++i) {
        Library library;
        library.name = LibraryName(i);
        library.offeredSize = libraryCount == 10 ? kTenSizes[i] : DrawSize(random, bands);
        library.installed = outcomes[static_cast<size_t>(i)];
        AssignVersions(random, library);
        plan.libraries.push_back(library);
    }
    return plan;
}

InstallPlan PlanUniform(int libraryCount) {
    Random random(0x64ULL + static_cast<uint64_t>(libraryCount));
    InstallPlan plan;
    plan.primarySize = 64 * 1024;
    for (int i = 0; i < libraryCount; ++i) {
        Library library;
        library.name = LibraryName(i);
        library.offeredSize = 64 * 1024;
        library.installed = i % 50 == 0 ? Installed::Older : Installed::Absent;
        AssignVersions(random, library);
        if (library.installed == Installed::Older)
            library.installedSize = 64 * 1024;
        plan.libraries.push_back(library);
    }
    return plan;
}

bool IsCopied(const Library& library, bool readerWorks) {
    return !(readerWorks && library.installed == Installed::Newer);
}

DllWriter::DllWriter(const fs::path& fixtureFolder) {
    for (const char* name : {"v1.0.0.0.dll", "v1.2.3.4.dll", "v1.2.3.5.dll", "v2.0.0.0.dll",
                             "v2.5.0.0.dll", "v3.0.0.0.dll", "unversioned.dll"}) {
        std::ifstream in(fixtureFolder / name, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.empty())
            throw std::runtime_error("missing fixture " + (fixtureFolder / name).string());
        fixtures_[name] = bytes;
    }
    Random random(42);
    filler_.resize(4 * kMiB);
    for (char& c : filler_)
        c = static_cast<char>(random.Next());
}

void DllWriter::Write(const fs::path& file, const std::string& fixture, uint64_t size) const {
    const std::string& head = fixtures_.at(fixture);
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755);
    if (fd < 0)
        throw std::runtime_error("cannot create " + file.string());
    bool ok = write(fd, head.data(), head.size()) == static_cast<ssize_t>(head.size());
    // The filler is the overlay after the PE image, where the version reader never looks.
    for (uint64_t done = head.size(); ok && done < size;) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(size - done, filler_.size()));
        ok = write(fd, filler_.data(), chunk) == static_cast<ssize_t>(chunk);
        done += chunk;
    }
    if (close(fd) != 0 || !ok)
        throw std::runtime_error("cannot write " + file.string());
}

} // namespace bench
