// Replays the fuzz corpus: every file once through the fuzz target, in place of libFuzzer's
// own main(), and once more as a file on disk, which must read as it reads from memory.
#include "version/image_source.h"
#include "version/version_block.h"
#include "version/version_resource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <winver.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles(int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        if (fs::is_regular_file(argv[i]))
            files.emplace_back(argv[i]);
        for (auto it = fs::recursive_directory_iterator(argv[i], fs::directory_options::none);
             fs::is_directory(argv[i]) && it != fs::recursive_directory_iterator(); ++it) {
            if (it->is_regular_file())
                files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The file read through GetFileVersionInfoSizeA must end as the same bytes read from memory.
bool ReadsAlikeFromFileAndMemory(const fs::path& file, const std::vector<BYTE>& bytes) {
    std::vector<BYTE> tree;
    const DWORD memoryError =
        posix::ReadVersionResource(posix::MemoryImageSource(bytes.data(), bytes.size()), tree);
    const std::string dosPath = "Z:" + fs::absolute(file).string();
    SetLastError(0xdeadbeef);
    const DWORD size = GetFileVersionInfoSizeA(dosPath.c_str(), nullptr);
    const DWORD fileError = size ? ERROR_SUCCESS : GetLastError();
    const DWORD memorySize =
        memoryError ? 0 : static_cast<DWORD>(posix::VersionBlockSize(tree.size()));
    if (fileError == memoryError && size == memorySize)
        return true;
    fprintf(stderr, "%s: from the file %lu (size %lu), from memory %lu (size %lu)\n", file.c_str(),
            static_cast<unsigned long>(fileError), static_cast<unsigned long>(size),
            static_cast<unsigned long>(memoryError), static_cast<unsigned long>(memorySize));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // A prefix of its own, without dosdevices/, makes Z: the host root.
    char prefix[] = "/tmp/version-replay-XXXXXX";
    if (!mkdtemp(prefix) || setenv("WINEPREFIX", prefix, 1) != 0)
        return 2;
    const std::vector<fs::path> files = CorpusFiles(argc, argv);
    int mismatches = 0;
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<BYTE> bytes{std::istreambuf_iterator<char>(in), {}};
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        mismatches += ReadsAlikeFromFileAndMemory(file, bytes) ? 0 : 1;
    }
    fs::remove(prefix);
    printf("%zu corpus files replayed, %d read differently from a file\n", files.size(),
           mismatches);
    return files.empty() || mismatches ? 1 : 0;
}
