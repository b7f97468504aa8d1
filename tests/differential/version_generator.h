// The generator of the differential test: DLLs with random resource trees and version blocks,
// each the same for the same seed and number, with the shapes the Windows loader and
// VerQueryValue meet in the wild and in hostile files among its mutations.
#ifndef DLLINSTALL_TESTS_VERSION_GENERATOR_H
#define DLLINSTALL_TESTS_VERSION_GENERATOR_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace differential {

struct GeneratedDll {
    std::string bytes;
    std::set<std::string> shapes; // the mutations it carries, by name
};

// The DLL numbered index of the batch of that seed.
GeneratedDll GenerateDll(uint64_t seed, uint64_t index);

// The hand-written cases the batch starts from: the fixture DLLs corrupted one field at a time
// and the version resources that lie about their sizes, each carrying the shape "seed: <what>".
// Empty when the fixtures were not built.
std::vector<GeneratedDll> SeedDlls();

// A DLL with one version resource of that product version, in one of the shapes the loader
// reads without trouble ("ids_with_high_bits", "unrelated_malformed_node" with broken entries
// and version nodes off the path, "deep_unrelated_subtree", "zero_fill", "data_in_the_headers"),
// or with a root whose length runs far past its resource ("lying_block_length").
std::string ShapedDll(const std::string& shape, const std::string& productVersion);

} // namespace differential

#endif
