#include "lying_version.h"
#include "test_support.h"
#include "version_corruptions.h"
#include "version_generator.h"

namespace differential {

namespace {

using namespace testing_support;

void AddCorruptions(const std::string& fixture, std::vector<GeneratedDll>& seeds) {
    const std::string image = ReadBytes(Fixture(fixture));
    PeLayout layout;
    if (!FindPeLayout(image, layout))
        return;
    for (const VersionCorruption& corruption : VersionCorruptions()) {
        GeneratedDll dll{image, {std::string("seed: ") + corruption.what}};
        corruption.apply(dll.bytes, layout);
        seeds.push_back(std::move(dll));
    }
}

void AddLyingVersions(const std::string& fixture, std::vector<GeneratedDll>& seeds) {
    for (auto& [name, bytes] : e2e::LyingVersions(ReadBytes(Fixture(fixture))))
        seeds.push_back({std::move(bytes), {"seed: " + name}});
}

} // namespace

std::vector<GeneratedDll> SeedDlls() {
    std::vector<GeneratedDll> seeds;
    if (Fixture("v1.0.0.0.dll").empty() || Fixture("pe32_v1.2.3.4.dll").empty())
        return seeds;
    AddCorruptions("v1.0.0.0.dll", seeds);
    AddCorruptions("pe32_v1.2.3.4.dll", seeds);
    AddLyingVersions("v1.0.0.0.dll", seeds);
    AddLyingVersions("pe32_v1.2.3.4.dll", seeds);
    return seeds;
}

} // namespace differential
