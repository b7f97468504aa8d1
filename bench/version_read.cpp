// bench_version_read: GetProductVersion on a DLL padded to 100 KiB and on the same DLL padded
// (sparsely) to 1 GiB. The reader reads only headers, directory and tree, so both must cost
// the same: it prints the median time and the bytes read per call, and writes them as JSON.
//   bench_version_read [RESULT.json] [RUNS]
#include "bytes_read.h"
#include "version/version.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kMaxRatio = 1.5;
constexpr long long kMaxBytesRead = 256LL * 1024;

struct Measurement {
    std::string name;
    unsigned long long size = 0;
    double medianMicros = 0;
    double p90Micros = 0;
    long long bytesRead = 0; // per call
    std::string version;
};

// A copy of the fixture with its size grown to size bytes after its last section: written out
// for the small file, a hole for the large one so that it costs no disk.
void MakePaddedCopy(const std::string& image, const fs::path& file, unsigned long long size) {
    std::ofstream(file, std::ios::binary)
        .write(image.data(), static_cast<std::streamsize>(image.size()));
    if (size <= (1u << 20)) {
        std::ofstream(file, std::ios::binary | std::ios::app)
            << std::string(size - image.size(), '\0');
    } else if (truncate(file.c_str(), static_cast<off_t>(size)) != 0) {
        perror("truncate");
        exit(2);
    }
}

// Bytes read per call, from the kernel's count of what this process read.
long long BytesReadPerCall(const CString& path, int runs) {
    const long long before = testing_support::BytesReadSoFar();
    for (int i = 0; i < runs; ++i)
        GetProductVersion(path);
    return (testing_support::BytesReadSoFar() - before) / runs;
}

// Times the files in turn, call by call, so that any drift of the machine hits them alike.
std::vector<Measurement> Measure(const std::vector<std::pair<std::string, fs::path>>& files,
                                 int runs) {
    std::vector<Measurement> ms;
    std::vector<CString> paths;
    for (const auto& [name, file] : files) {
        ms.push_back({name, fs::file_size(file), 0, 0, 0, ""});
        paths.emplace_back(("Z:" + file.string()).c_str());
        for (int i = 0; i < runs / 10; ++i)
            GetProductVersion(paths.back()); // warm the page cache and the allocator
    }
    std::vector<std::vector<double>> micros(files.size());
    for (int run = 0; run < runs; ++run) {
        for (size_t f = 0; f < files.size(); ++f) {
            const auto start = std::chrono::steady_clock::now();
            const CString version = GetProductVersion(paths[f]);
            const auto took = std::chrono::steady_clock::now() - start;
            micros[f].push_back(std::chrono::duration<double, std::micro>(took).count());
            ms[f].version = static_cast<LPCSTR>(version);
        }
    }
    for (size_t f = 0; f < files.size(); ++f) {
        std::sort(micros[f].begin(), micros[f].end());
        ms[f].medianMicros = micros[f][micros[f].size() / 2];
        ms[f].p90Micros = micros[f][micros[f].size() * 9 / 10];
        ms[f].bytesRead = BytesReadPerCall(paths[f], runs);
    }
    return ms;
}

void WriteJson(const fs::path& json, const std::vector<Measurement>& ms, int runs, double ratio,
               bool met) {
    std::ofstream out(json);
    out << "{\n  \"benchmark\": \"version_read\",\n  \"runs\": " << runs << ",\n  \"files\": [\n";
    for (size_t i = 0; i < ms.size(); ++i) {
        out << "    {\"name\": \"" << ms[i].name << "\", \"size\": " << ms[i].size
            << ", \"median_us\": " << ms[i].medianMicros << ", \"p90_us\": " << ms[i].p90Micros
            << ", \"bytes_read_per_call\": " << ms[i].bytesRead << ", \"product_version\": \""
            << ms[i].version << "\"}" << (i + 1 < ms.size() ? "," : "") << "\n";
    }
    out << "  ],\n  \"time_ratio_large_to_small\": " << ratio
        << ",\n  \"targets\": {\"max_ratio\": " << kMaxRatio
        << ", \"max_bytes_read_per_call\": " << kMaxBytesRead
        << "},\n  \"met\": " << (met ? "true" : "false") << "\n}\n";
}

} // namespace

int main(int argc, char** argv) {
    const fs::path json = argc > 1 ? argv[1] : "version_read.json";
    const int runs = argc > 2 ? std::max(10, atoi(argv[2])) : 2000;
    std::ifstream in(fs::path(DLLINSTALL_FIXTURE_DIR) / "v1.0.0.0.dll", std::ios::binary);
    const std::string image{std::istreambuf_iterator<char>(in), {}};
    if (image.empty()) {
        fprintf(stderr, "fixture v1.0.0.0.dll is missing: build the fixtures target first\n");
        return 2;
    }
    char folder[] = "/tmp/bench-version-XXXXXX";
    if (!mkdtemp(folder))
        return 2;
    setenv("WINEPREFIX", folder, 1); // a prefix without dosdevices/: Z: is the host root
    MakePaddedCopy(image, fs::path(folder) / "small.dll", 100ULL * 1024);
    MakePaddedCopy(image, fs::path(folder) / "large.dll", 1ULL << 30);
    const std::vector<Measurement> ms = Measure(
        {{"100 KiB", fs::path(folder) / "small.dll"}, {"1 GiB", fs::path(folder) / "large.dll"}},
        runs);
    fs::remove_all(folder);

    const double ratio = ms[1].medianMicros / ms[0].medianMicros;
    bool met = ratio <= kMaxRatio;
    printf("%-8s %12s %11s %9s %12s  %s\n", "file", "size", "median us", "p90 us", "read/call",
           "version");
    for (const Measurement& m : ms) {
        printf("%-8s %12llu %11.2f %9.2f %12lld  %s\n", m.name.c_str(), m.size, m.medianMicros,
               m.p90Micros, m.bytesRead, m.version.c_str());
        met = met && m.bytesRead <= kMaxBytesRead && m.version == "1.0.0.0";
    }
    printf("1 GiB / 100 KiB time: %.2f (target <= %.1f); bytes read per call target <= %lld: %s\n",
           ratio, kMaxRatio, kMaxBytesRead, met ? "met" : "MISSED");
    WriteJson(json, ms, runs, ratio, met);
    return met ? 0 : 1;
}
