// The version reader of the Linux build: GetProductVersion over real fixture DLLs, the three
// version calls answering as Windows answers, and DLLs corrupted one field at a time.
#include "bytes_read.h"
#include "pe_file.h"
#include "pe_version.h"
#include "process/modules.h"
#include "test_support.h"
#include "version/image_source.h"
#include "version/version.h"
#include "version_corruptions.h"
#include "version_fixtures.h"

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <winver.h>

namespace {

using namespace testing_support;

constexpr DWORD kUntouched = 0xdeadbeef;

std::string ProductVersion(const std::string& dosPath) {
    return std::string(static_cast<LPCSTR>(GetProductVersion(CString(dosPath.c_str()))));
}

// A prefix of the test's own, so that Z: is the host root whatever $HOME/.wine holds.
class VersionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prefix_ = std::make_unique<ScopedPrefix>(MakePrefix(folder_ / "prefix"));
        if (Fixture("v1.0.0.0.dll").empty())
            GTEST_SKIP() << "the fixture DLLs were not built: mingw-w64 is missing";
    }

    // Every version read frees version.dll again, whatever it found.
    void TearDown() override { EXPECT_EQ(posix::LoadedModuleReferences(), 0); }

    // Writes the bytes to a file of the test's folder and gives its Windows path.
    std::string Place(const std::string& name, const std::string& bytes) {
        WriteBytes(folder_ / name, bytes);
        return DosPath(folder_ / name);
    }

    TempFolder folder_{"version-test"};
    std::unique_ptr<ScopedPrefix> prefix_;
};

// ---------------------------------------------------------------------------------------------
// GetProductVersion over every fixture.

class ProductVersionTest : public VersionTest,
                           public ::testing::WithParamInterface<VersionFixture> {};

TEST_P(ProductVersionTest, ReadsTheFirstTranslationsProductVersion) {
    const fs::path file = Fixture(GetParam().name);
    if (file.empty())
        GTEST_SKIP() << GetParam().name << " was not built";
    EXPECT_EQ(ProductVersion(DosPath(file)), GetParam().productVersion);
}

std::string TestNameOf(const ::testing::TestParamInfo<VersionFixture>& info) {
    std::string name = info.param.name;
    for (char& c : name)
        c = isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProductVersionTest, ::testing::ValuesIn(VersionFixtures()),
                         TestNameOf);

TEST_F(VersionTest, PathsOfMaxPathCharactersOrMoreGiveNoVersion) {
    const std::string image = ReadBytes(Fixture("v1.0.0.0.dll"));
    const std::string folder(120, 'd');
    const size_t base = DosPath(folder_.path()).size() + 1 + folder.size() + 1;
    ASSERT_LT(base + 10, size_t{MAX_PATH});
    const std::string name259 = std::string(MAX_PATH - 1 - base - 4, 'x') + ".dll";
    const std::string path259 = Place(folder + "/" + name259, image);
    const std::string path260 = Place(folder + "/x" + name259, image);
    ASSERT_EQ(path259.size(), size_t{MAX_PATH - 1});
    EXPECT_EQ(ProductVersion(path259), "1.0.0.0");
    EXPECT_EQ(ProductVersion(path260), "");
}

TEST_F(VersionTest, ReadsOnlyTheHeadersTheDirectoryAndTheTreeOfAHugeFile) {
    const std::string path = Place("huge.dll", ReadBytes(Fixture("v1.0.0.0.dll")));
    // Sparse: the file claims 4 GiB but costs no disk.
    ASSERT_EQ(truncate((folder_ / "huge.dll").c_str(), off_t{1} << 32), 0);
    const long long before = BytesReadSoFar();
    EXPECT_EQ(ProductVersion(path), "1.0.0.0");
    const long long after = BytesReadSoFar();
    ASSERT_GE(before, 0) << "/proc/self/io is not readable here";
    EXPECT_LT(after - before, 16 * 1024);
}

// The file is read a few pages at a time: every piece must still come out as the file holds it,
// wherever it lies against the pages, and a file that shrank must not be read past its end.
TEST(FileImageSourceTest, EveryPieceComesOutAsTheFileHoldsIt) {
    TempFolder folder("image-source");
    std::string bytes(100 * 1024 + 123, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    WriteBytes(folder.path() / "image", bytes);
    const int fd = open((folder.path() / "image").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const posix::FileImageSource source(fd, bytes.size());
    const struct {
        uint64_t offset;
        size_t length;
    } pieces[] = {{0, 64},           {60, 248},     {4090, 12},  {8192, 0}, {5000, 4096},
                  {4096, 16384},     {100, 40000},  {70000, 20}, {4, 4},    {bytes.size() - 7, 7},
                  {bytes.size(), 0}, {12000, 9000}, {61, 100}};
    std::vector<BYTE> out;
    for (const auto& piece : pieces) {
        ASSERT_EQ(source.Read(piece.offset, piece.length, out), DWORD{ERROR_SUCCESS})
            << piece.offset << "+" << piece.length;
        EXPECT_EQ(std::string(out.begin(), out.end()), bytes.substr(piece.offset, piece.length))
            << piece.offset << "+" << piece.length;
    }
    EXPECT_EQ(source.Read(bytes.size() - 7, 8, out), DWORD{ERROR_BAD_FORMAT});
    EXPECT_EQ(source.Read(UINT64_MAX - 2, 4, out), DWORD{ERROR_BAD_FORMAT});
    ASSERT_EQ(ftruncate(fd, 50000), 0);
    EXPECT_EQ(source.Read(90000, 16, out), DWORD{ERROR_BAD_FORMAT});
    close(fd);
}

// ---------------------------------------------------------------------------------------------
// The three calls, with the last error as Windows leaves it.

struct Queried {
    BOOL ok = FALSE;
    DWORD error = 0;
    const BYTE* value = nullptr;
    UINT length = 0;
    std::string Text() const { return value ? reinterpret_cast<const char*>(value) : ""; }
};

Queried Query(std::vector<BYTE>& block, const char* path) {
    Queried q;
    void* value = reinterpret_cast<void*>(1);
    q.length = 12345;
    SetLastError(kUntouched);
    q.ok = VerQueryValueA(block.data(), path, &value, &q.length);
    q.error = GetLastError();
    q.value = static_cast<const BYTE*>(value);
    return q;
}

std::vector<BYTE> VersionBlock(const std::string& path) {
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    std::vector<BYTE> block(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, block.data()))
        block.clear();
    return block;
}

bool Inside(const std::vector<BYTE>& block, const BYTE* p, size_t length) {
    return p >= block.data() && p + length <= block.data() + block.size();
}

TEST_F(VersionTest, SizeLeavesRoomBesideTheTreeAndTheBlockHoldsTheTreeAsInTheFile) {
    const std::string image = ReadBytes(Fixture("v1.0.0.0.dll"));
    PeLayout layout;
    ASSERT_TRUE(FindPeLayout(image, layout));
    const std::string path = DosPath(Fixture("v1.0.0.0.dll"));
    const size_t treeLength = GetU16(image, layout.data);

    DWORD handle = 77;
    SetLastError(kUntouched);
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(handle, 0u);
    // Room for the tree, the signature, and every string of it converted beside it.
    EXPECT_GE(size, 2 * treeLength + 4);

    std::vector<BYTE> block(size, 0xAA);
    SetLastError(kUntouched);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(std::string(block.begin(), block.begin() + treeLength),
              image.substr(layout.data, treeLength));
    EXPECT_EQ(std::string(block.begin() + treeLength, block.begin() + treeLength + 4), "FE2X");
}

std::string ProductVersionIn(std::vector<BYTE>& block) {
    return Query(block, "\\StringFileInfo\\040904b0\\ProductVersion").Text();
}

// The block call may take the tree the size call read, but never once the file has changed.
TEST_F(VersionTest, TheBlockCallReadsAFileChangedSinceTheSizeCallAfresh) {
    const std::string v1 = ReadBytes(Fixture("v1.0.0.0.dll"));
    const std::string v2 = ReadBytes(Fixture("v2.0.0.0.dll"));
    const std::string path = Place("lib.dll", v1);
    const DWORD room = 4096;
    ASSERT_GT(GetFileVersionInfoSizeA(path.c_str(), nullptr), 0u);
    WriteBytes(folder_ / "new.dll", v2);
    fs::rename(folder_ / "new.dll", folder_ / "lib.dll");
    std::vector<BYTE> block(room);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, room, block.data()));
    EXPECT_EQ(ProductVersionIn(block), "2.0.0.0");

    // Rewritten in place: the same file, with a new time of its last change.
    ASSERT_GT(GetFileVersionInfoSizeA(path.c_str(), nullptr), 0u);
    WriteBytes(folder_ / "lib.dll", v1);
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (folder_ / "lib.dll").c_str(), past, 0), 0);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, room, block.data()));
    EXPECT_EQ(ProductVersionIn(block), "1.0.0.0");

    // The size of one file and then the block of another.
    const std::string other = Place("other.dll", v2);
    ASSERT_GT(GetFileVersionInfoSizeA(other.c_str(), nullptr), 0u);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, room, block.data()));
    EXPECT_EQ(ProductVersionIn(block), "1.0.0.0");
    ASSERT_TRUE(GetFileVersionInfoA(other.c_str(), 0, room, block.data()));
    EXPECT_EQ(ProductVersionIn(block), "2.0.0.0");

    // Named in another case, the file is found as it is on disk, by both calls.
    const std::string upper = DosPath(folder_ / "LIB.DLL");
    ASSERT_GT(GetFileVersionInfoSizeA(upper.c_str(), nullptr), 0u);
    ASSERT_TRUE(GetFileVersionInfoA(upper.c_str(), 0, room, block.data()));
    EXPECT_EQ(ProductVersionIn(block), "1.0.0.0");
}

TEST_F(VersionTest, FailuresNameTheirCause) {
    fs::create_directory(folder_ / "folder");
    std::string noResources = ReadBytes(Fixture("v1.0.0.0.dll"));
    PeLayout layout;
    ASSERT_TRUE(FindPeLayout(noResources, layout));
    PutU32(noResources, layout.resourceRvaField, 0);
    PutU32(noResources, layout.resourceSizeField, 0);
    const struct {
        std::string path;
        DWORD error;
    } cases[] = {
        {DosPath(folder_ / "missing.dll"), ERROR_FILE_NOT_FOUND},
        {DosPath(folder_ / "missing" / "x.dll"), ERROR_PATH_NOT_FOUND},
        {"", ERROR_BAD_PATHNAME},
        {DosPath(folder_ / "folder"), ERROR_ACCESS_DENIED},
        {Place("empty.dll", ""), ERROR_BAD_FORMAT},
        {Place("text.dll", "This is not a program, only some text.\r\n"), ERROR_BAD_FORMAT},
        {DosPath(Fixture("unversioned.dll")), ERROR_RESOURCE_TYPE_NOT_FOUND},
        {Place("no_resources.dll", noResources), ERROR_RESOURCE_DATA_NOT_FOUND},
        // A version resource that is not numbered VS_VERSION_INFO (1) is not looked at.
        {DosPath(Fixture("version_id2.dll")), ERROR_RESOURCE_NAME_NOT_FOUND},
        {DosPath(Fixture("version_named.dll")), ERROR_RESOURCE_NAME_NOT_FOUND},
    };
    for (const auto& c : cases) {
        DWORD handle = 77;
        SetLastError(kUntouched);
        EXPECT_EQ(GetFileVersionInfoSizeA(c.path.c_str(), &handle), 0u) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
        EXPECT_EQ(handle, 0u) << c.path;
        BYTE block[64];
        SetLastError(kUntouched);
        EXPECT_FALSE(GetFileVersionInfoA(c.path.c_str(), 0, sizeof block, block)) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
    SetLastError(kUntouched);
    EXPECT_EQ(GetFileVersionInfoSizeA(nullptr, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    // Windows refuses a missing buffer before it looks at the file.
    SetLastError(kUntouched);
    EXPECT_FALSE(GetFileVersionInfoA(DosPath(folder_ / "missing.dll").c_str(), 0, 100, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_DATA});
}

// The language table of version_lang_german_english.dll renumbered, its German 1.0 first and
// English (US) 9.0 second: what a neutral request takes, for a user whose one language is
// English (US).
TEST_F(VersionTest, ANeutralRequestTakesNeutralThenTheUsersLanguagesThenTheFirstListed) {
    const std::string image = ReadBytes(Fixture("version_lang_german_english.dll"));
    PeLayout layout;
    ASSERT_TRUE(FindPeLayout(image, layout));
    ASSERT_EQ(GetU16(image, layout.languageDirectory + 14), 2u);
    const struct {
        uint16_t first, second;
        const char* version;
    } cases[] = {
        {0x0407, 0x0409, "9.0.0.0"}, // English (US) before German
        {0x0000, 0x0409, "1.0.0.0"}, // neutral before English (US)
        {0x0407, 0x0809, "1.0.0.0"}, // English (UK) is not English (US)
        {0x0007, 0x0009, "9.0.0.0"}, // English, English (US)'s parent, is the user's too
        {0x0009, 0x0409, "9.0.0.0"}, // but comes after English (US)
        {0x0407, 0x0437, "1.0.0.0"}, // Georgian is no language of this user
        {0x0407, 0x0800, "1.0.0.0"}, // the system's default comes after any other
    };
    for (const auto& c : cases) {
        std::string renumbered = image;
        PutU32(renumbered, layout.languageDirectory + 16, c.first);
        PutU32(renumbered, layout.languageDirectory + 24, c.second);
        EXPECT_EQ(ProductVersion(Place("languages.dll", renumbered)), c.version)
            << std::hex << c.first << ", " << c.second;
    }
}

TEST_F(VersionTest, QueriesFindTheRootTheTranslationsAndEachTablesStrings) {
    const fs::path file = Fixture("version_two_translations.dll");
    std::vector<BYTE> block = VersionBlock(DosPath(file));
    ASSERT_FALSE(block.empty());

    const Queried root = Query(block, "\\");
    ASSERT_TRUE(root.ok);
    EXPECT_EQ(root.error, kUntouched);
    ASSERT_EQ(root.length, 52u); // sizeof(VS_FIXEDFILEINFO)
    ASSERT_TRUE(Inside(block, root.value, root.length));
    DWORD fixed[13];
    memcpy(fixed, root.value, sizeof fixed);
    EXPECT_EQ(fixed[0], 0xFEEF04BDu);
    EXPECT_EQ(fixed[4], 0x00070007u); // PRODUCTVERSION 7,7,7,7
    EXPECT_EQ(fixed[5], 0x00070007u);

    const Queried translations = Query(block, "\\VarFileInfo\\Translation");
    ASSERT_TRUE(translations.ok);
    ASSERT_EQ(translations.length, 8u);
    ASSERT_TRUE(Inside(block, translations.value, translations.length));
    DWORD pairs[2];
    memcpy(pairs, translations.value, sizeof pairs);
    EXPECT_EQ(pairs[0], 0x04E40407u);
    EXPECT_EQ(pairs[1], 0x04B00409u);

    const Queried german = Query(block, "\\StringFileInfo\\040704e4\\ProductVersion");
    ASSERT_TRUE(german.ok);
    EXPECT_EQ(german.error, kUntouched);
    EXPECT_EQ(german.Text(), "7.7.7.7");
    EXPECT_EQ(german.length, 8u); // characters with the terminator, as Windows counts
    EXPECT_TRUE(Inside(block, german.value, german.length));
    EXPECT_EQ(Query(block, "\\StringFileInfo\\040904b0\\ProductVersion").Text(), "1.1.1.1");
}

TEST_F(VersionTest, QueryPathsAreReadAsWindowsReadsThem) {
    std::vector<BYTE> block = VersionBlock(DosPath(Fixture("version_two_translations.dll")));
    ASSERT_FALSE(block.empty());
    for (const char* path :
         {"\\STRINGFILEINFO\\040704E4\\productversion", "StringFileInfo\\040704e4\\ProductVersion",
          "\\\\StringFileInfo\\\\040704e4\\ProductVersion\\"}) {
        const Queried q = Query(block, path);
        EXPECT_TRUE(q.ok) << path;
        EXPECT_EQ(q.Text(), "7.7.7.7") << path;
    }
    EXPECT_EQ(Query(block, "").length, 52u);
    EXPECT_EQ(Query(block, nullptr).length, 52u);
    // A block of tables has no value of its own, which is no failure.
    const Queried tables = Query(block, "\\StringFileInfo");
    EXPECT_TRUE(tables.ok);
    EXPECT_EQ(tables.length, 0u);
    void* value = nullptr;
    EXPECT_TRUE(VerQueryValueA(block.data(), "\\", &value, nullptr));
}

TEST_F(VersionTest, MissingNamesFailWithNothingReturned) {
    std::vector<BYTE> block = VersionBlock(DosPath(Fixture("version_two_translations.dll")));
    ASSERT_FALSE(block.empty());
    for (const char* path :
         {"\\StringFileInfo\\040704e4\\Nope", "\\StringFileInfo\\04070000\\ProductVersion",
          "\\VarFileInfo\\Translation\\More", "\\Product", "\\StringFileInfo\\040704e4\\Product"}) {
        const Queried q = Query(block, path);
        EXPECT_FALSE(q.ok) << path;
        EXPECT_EQ(q.error, DWORD{ERROR_RESOURCE_TYPE_NOT_FOUND}) << path;
        EXPECT_EQ(q.value, nullptr) << path;
        EXPECT_EQ(q.length, 0u) << path;
    }
    void* value = nullptr;
    UINT length = 0;
    SetLastError(kUntouched);
    EXPECT_FALSE(VerQueryValueA(nullptr, "\\", &value, &length));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    SetLastError(kUntouched);
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\", nullptr, &length));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST_F(VersionTest, StringsComeAsUtf8BesideTheTreeWhichStaysAsItWas) {
    std::vector<BYTE> block = VersionBlock(DosPath(Fixture("version_non_ascii.dll")));
    ASSERT_FALSE(block.empty());
    const std::vector<BYTE> before = block;
    const size_t treeLength = block[0] | block[1] << 8;
    const Queried q = Query(block, "\\StringFileInfo\\040904b0\\ProductVersion");
    ASSERT_TRUE(q.ok);
    EXPECT_EQ(q.Text(), "1.0 \xCE\xB2");
    EXPECT_EQ(q.length, 7u); // "1.0 ", two bytes of beta, the terminator
    EXPECT_GE(q.value, block.data() + treeLength + 4);
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + treeLength, before.begin()));
    EXPECT_EQ(Query(block, "\\StringFileInfo\\040904b0\\ProductVersion").value, q.value);
}

TEST_F(VersionTest, ABlockSmallerThanAskedForIsFilledAndQueriedWithinItsSize) {
    const std::string path = DosPath(Fixture("v1.0.0.0.dll"));
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    ASSERT_FALSE(VersionBlock(path).empty());
    DWORD smallestFilled = 0;
    for (DWORD n = size; n > 0; --n) {
        // Exactly n bytes on the heap, so that the sanitizers see any byte past them.
        std::vector<BYTE> block(n);
        SetLastError(kUntouched);
        if (!GetFileVersionInfoA(path.c_str(), 0, n, block.data())) {
            EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER}) << n;
            continue;
        }
        EXPECT_TRUE(smallestFilled == 0 || smallestFilled == n + 1) << "a gap above " << n;
        smallestFilled = n;
        for (const char* query :
             {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904b0\\ProductVersion"}) {
            const Queried q = Query(block, query);
            if (q.ok) {
                EXPECT_TRUE(Inside(block, q.value, q.length)) << n << " " << query;
            }
        }
        if (n == size) {
            EXPECT_EQ(Query(block, "\\StringFileInfo\\040904b0\\ProductVersion").Text(), "1.0.0.0");
        }
    }
    EXPECT_GT(smallestFilled, 0u);
    EXPECT_LT(smallestFilled, 64u);
}

TEST_F(VersionTest, ABlockThatGetFileVersionInfoDidNotFillIsRefused) {
    std::vector<BYTE> zeros(256, 0);
    EXPECT_EQ(Query(zeros, "\\").error, DWORD{ERROR_INVALID_DATA});
    std::vector<BYTE> noSignature(256, 0);
    noSignature[0] = 40; // a length, but no signature after it
    EXPECT_FALSE(Query(noSignature, "\\").ok);
    EXPECT_EQ(Query(noSignature, "\\").error, DWORD{ERROR_INVALID_DATA});
}

// ---------------------------------------------------------------------------------------------
// Version trees written by the test, put in the place of a fixture's own.

struct TreeNode {
    std::string key; // ASCII
    std::u16string text;
    int claimedValueLength = -1; // when set, the wValueLength written instead of the true one
    std::vector<TreeNode> children;
};

void AppendU16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void PadTo4(std::string& out) {
    while (out.size() % 4)
        out.push_back('\0');
}

void Serialize(const TreeNode& node, std::string& out) {
    const size_t start = out.size();
    out.append(6, '\0');
    for (char c : node.key)
        AppendU16(out, static_cast<uint16_t>(c));
    AppendU16(out, 0);
    PadTo4(out);
    for (char16_t unit : node.text)
        AppendU16(out, unit);
    if (!node.text.empty())
        AppendU16(out, 0);
    for (const TreeNode& child : node.children) {
        PadTo4(out);
        Serialize(child, out);
    }
    const size_t units = node.text.empty() ? 0 : node.text.size() + 1;
    PutU16(out, start, static_cast<uint16_t>(out.size() - start));
    PutU16(out, start + 2,
           static_cast<uint16_t>(node.claimedValueLength >= 0 ? node.claimedValueLength : units));
    PutU16(out, start + 4, 1);
}

// A chain of nodes "k" levels deep below the root, the deepest holding the text "deep".
TreeNode Chain(size_t levels) {
    TreeNode node{"k", u"deep", -1, {}};
    for (size_t i = 1; i < levels; ++i)
        node = TreeNode{"k", u"", -1, {node}};
    return TreeNode{"VS_VERSION_INFO", u"", -1, {node}};
}

class WrittenTreeTest : public VersionTest {
  protected:
    // Puts the tree in place of v1.0.0.0.dll's own and gives the new file's path.
    std::string PlaceTree(const TreeNode& root) {
        std::string image = ReadBytes(Fixture("v1.0.0.0.dll"));
        PeLayout layout;
        EXPECT_TRUE(FindPeLayout(image, layout));
        std::string tree;
        Serialize(root, tree);
        EXPECT_LE(tree.size(), layout.dataSize);
        image.replace(layout.data, tree.size(), tree);
        PutU32(image, layout.dataEntry + 4, static_cast<uint32_t>(tree.size()));
        return Place("written.dll", image);
    }
};

// The limit guards a query's path, not the tree: a deeper tree is read, a longer path is not.
TEST_F(WrittenTreeTest, QueryPathsAreCappedAtEightNamesButTreesAreNot) {
    std::vector<BYTE> block = VersionBlock(PlaceTree(Chain(8)));
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(Query(block, "\\k\\k\\k\\k\\k\\k\\k\\k").Text(), "deep");
    block = VersionBlock(PlaceTree(Chain(9)));
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(Query(block, "\\k\\k\\k\\k\\k\\k\\k\\k").Text(), "");
    const Queried tooLong = Query(block, "\\k\\k\\k\\k\\k\\k\\k\\k\\k");
    EXPECT_FALSE(tooLong.ok);
}

TEST_F(WrittenTreeTest, AValueClaimingMoreThanItsNodeHoldsIsCutAtTheNode) {
    TreeNode table{"040904b0", u"", -1, {{"ProductVersion", u"6.0", 900, {}}}};
    TreeNode root{"VS_VERSION_INFO",
                  u"",
                  -1,
                  {{"StringFileInfo", u"", -1, {table}}, {"VarFileInfo", u"", -1, {}}}};
    std::vector<BYTE> block = VersionBlock(PlaceTree(root));
    ASSERT_FALSE(block.empty());
    const Queried q = Query(block, "\\StringFileInfo\\040904b0\\ProductVersion");
    EXPECT_TRUE(q.ok);
    EXPECT_EQ(q.Text(), "6.0");
}

// ---------------------------------------------------------------------------------------------
// Fixtures corrupted one field at a time: each gives no version, with the reason as the last
// error, or the version Windows still reads, and never a crash.

class CorruptedTest : public VersionTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CorruptedTest, EachFieldPushedOutOfRangeGivesNoVersionOrWhatWindowsReads) {
    const fs::path file = Fixture(GetParam());
    if (file.empty())
        GTEST_SKIP() << GetParam() << " was not built";
    const std::string image = ReadBytes(file);
    PeLayout layout;
    ASSERT_TRUE(FindPeLayout(image, layout));
    ASSERT_EQ(
        VersionNodePath(image, layout, {"StringFileInfo", "040904b0", "ProductVersion"}).size(),
        4u);
    for (const VersionCorruption& corruption : VersionCorruptions()) {
        std::string broken = image;
        corruption.apply(broken, layout);
        ASSERT_NE(broken, image) << corruption.what;
        const std::string path = Place("broken.dll", broken);
        SetLastError(kUntouched);
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
        EXPECT_EQ(GetLastError(), corruption.sizeError) << corruption.what;
        EXPECT_EQ(size == 0, corruption.sizeError != kSound) << corruption.what;
        EXPECT_EQ(ProductVersion(path).empty(), !corruption.readsVersion) << corruption.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CorruptedTest,
                         ::testing::Values("v1.0.0.0.dll", "pe32_v1.2.3.4.dll"),
                         [](const auto& info) {
                             return std::string(info.param[0] == 'p' ? "PE32" : "PE32Plus");
                         });

TEST_P(CorruptedTest, TruncatedAnywhereBeforeTheEndOfTheResourceGivesNoVersion) {
    const fs::path file = Fixture(GetParam());
    if (file.empty())
        GTEST_SKIP() << GetParam() << " was not built";
    const std::string image = ReadBytes(file);
    PeLayout layout;
    ASSERT_TRUE(FindPeLayout(image, layout));
    const std::string path = Place("cut.dll", image);
    const std::string expected = ProductVersion(path);
    ASSERT_FALSE(expected.empty());
    const int fd = open((folder_ / "cut.dll").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::vector<size_t> wrong;
    // Cutting from the end downwards keeps every byte before the cut as it was.
    for (size_t length = image.size(); length-- > 0;) {
        ASSERT_EQ(ftruncate(fd, static_cast<off_t>(length)), 0);
        const bool whole = length >= layout.resourceSectionEnd;
        const bool cutIntoResource = length < layout.data + layout.dataSize;
        SetLastError(kUntouched);
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
        const std::string version = ProductVersion(path);
        if (whole ? version != expected
                  : cutIntoResource &&
                        (size != 0 || GetLastError() != ERROR_BAD_FORMAT || !version.empty()))
            wrong.push_back(length);
    }
    close(fd);
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong lengths, the first " << wrong.front();
}

} // namespace
