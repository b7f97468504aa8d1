// Fuzz target of the version reader. An input that starts with "MZ" is a PE image, read with
// the same entry point as GetFileVersionInfoA; any other input is a bare VS_VERSIONINFO tree,
// put into a block unchecked, so that VerQueryValueA meets trees no reader check has seen.
// Every answer must lie inside the block.
#include "version/image_source.h"
#include "version/version_block.h"
#include "version/version_resource.h"
#include "version/version_tree.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <winver.h>

namespace {

const char* const kQueries[] = {
    "\\",
    "\\VarFileInfo\\Translation",
    "\\StringFileInfo",
    "\\StringFileInfo\\040904b0\\ProductVersion",
    "\\stringfileinfo\\040904B0\\productversion\\",
    "StringFileInfo\\\\040904b0\\FileDescription",
    "\\k\\k\\k\\k\\k\\k\\k\\k\\k",
};

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "version_fuzz: %s\n", what);
    abort();
}

// Reads every byte of an answer, so that the sanitizers see any that lies outside the block.
void CheckAnswer(const std::vector<BYTE>& block, const void* value, UINT length) {
    const auto* p = static_cast<const BYTE*>(value);
    if (p < block.data() || length > block.size() || p > block.data() + block.size() - length)
        Fail("an answer points outside the block");
    volatile BYTE sink = 0;
    for (UINT i = 0; i < length; ++i)
        sink = sink ^ p[i];
}

void Query(std::vector<BYTE>& block, const char* path) {
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block.data(), path, &value, &length))
        CheckAnswer(block, value, length);
    else if (value || length || GetLastError() == ERROR_SUCCESS)
        Fail("a failed query returned something or cleared the last error");
}

// The queries of the installer, the first translation's included, and a few odd spellings.
void QueryEverything(std::vector<BYTE>& block) {
    for (const char* path : kQueries)
        Query(block, path);
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) &&
        length >= 4) {
        const BYTE* t = static_cast<const BYTE*>(value);
        char path[64];
        snprintf(path, sizeof path, "\\StringFileInfo\\%02x%02x%02x%02x\\ProductVersion", t[1],
                 t[0], t[3], t[2]);
        Query(block, path);
    }
}

void FuzzImage(const BYTE* data, size_t size) {
    std::vector<BYTE> tree;
    if (posix::ReadVersionResource(posix::MemoryImageSource(data, size), tree) != ERROR_SUCCESS)
        return;
    if (tree.size() > posix::kMaxVersionTreeLength)
        Fail("the tree is longer than its length word can say");
    std::vector<BYTE> block(posix::VersionBlockSize(tree.size()));
    if (posix::FillVersionBlock(tree, block.size(), block.data()) != ERROR_SUCCESS)
        Fail("a block of the size asked for was refused");
    QueryEverything(block);
    // A caller's smaller block, cut where the input says.
    const size_t cut = size > 0 ? block.size() * data[size - 1] / 256 : 0;
    std::vector<BYTE> small(std::max<size_t>(cut, 1));
    if (posix::FillVersionBlock(tree, cut, small.data()) == ERROR_SUCCESS)
        QueryEverything(small);
}

void FuzzTree(const BYTE* data, size_t size) {
    const std::vector<BYTE> tree(data, data + std::min(size, posix::kMaxVersionTreeLength));
    posix::ValidateVersionTree(posix::ByteView(tree.data(), tree.size()));
    std::vector<BYTE> block(posix::VersionBlockSize(tree.size()));
    if (posix::FillVersionBlock(tree, block.size(), block.data()) == ERROR_SUCCESS)
        QueryEverything(block);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 2 && data[0] == 'M' && data[1] == 'Z')
        FuzzImage(data, size);
    else
        FuzzTree(data, size);
    return 0;
}
