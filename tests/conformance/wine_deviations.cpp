// The conformance cases where Wine 8 is known to answer otherwise than Windows, each with its
// reason. Our layer follows Windows; under Wine these cases are skipped and say why. How Wine's
// version.dll reads DLLs otherwise than Windows is listed beside the DLL generator that finds
// it, in tests/differential/wine_version_deviations.cpp.
#include "conformance.h"

#include <map>

namespace testing_support {

namespace {

// Wine keeps read-only to the Unix permission bits, which root passes; Windows refuses to
// change a read-only file or folder whoever asks. The suite runs as root.
const char kReadOnlyAsRoot[] =
    "Wine 8 run as root changes read-only files and folders, which Windows refuses";
const char kNoLinks[] = "a Windows program under Wine 8 cannot make symbolic links "
                        "(CreateSymbolicLinkW does nothing), so the case cannot be set up";

const std::map<std::string, std::string>& KnownWineDeviations() {
    static const std::map<std::string, std::string> cases = {
        {"FilesTest.CopyRefusesAReadOnlyDestination", kReadOnlyAsRoot},
        {"FilesTest.CreateFileRefusesToOverwriteAReadOnlyFile", kReadOnlyAsRoot},
        {"FilesTest.RemoveDirectoryRefusesAReadOnlyFolder", kReadOnlyAsRoot},
        {"FsTest.AFailureDoesNotStopTheWalkThroughLaterFolders", kReadOnlyAsRoot},
        {"FilesTest.DeletingALinkLeavesItsTarget", kNoLinks},
        {"FilesTest.RemovingAFolderLinkRemovesOnlyTheLink", kNoLinks},
        {"FilesTest.ALinkOpenedItselfGoesWithoutItsTarget", kNoLinks},
        {"FilesTest.CopyOfALinkCopiesItsTargetAndADanglingOneIsMissing", kNoLinks},
        {"FilesTest.CopyReplacesALinkInsteadOfWritingThroughIt", kNoLinks},
        {"FilesTest.FindWithoutWildcardsShowsLinksAsReparsePoints", kNoLinks},
        {"FsTest.LinksInsideTheTreeGoWithoutTheirTargets", kNoLinks},
        {"FsTest.ATreeThatIsItselfALinkLosesOnlyTheLink", kNoLinks},
        {"FilesTest.FindListsInNtfsOrderWithDotsFirstAndWindowsAttributes",
         std::string(kNoLinks) + "; nor can a Windows folder hold two names that differ only "
                                 "in case"},
        {"FilesTest.FindBelowAFileFails",
         "Wine 8 answers ERROR_INVALID_NAME where the folder part names a file; Windows answers "
         "ERROR_DIRECTORY at least for a mask with wildcards (Wine's own tests, run on "
         "Windows), and the layer ERROR_PATH_NOT_FOUND: which one Windows gives here is open"},
        {"ModuleFileName.CutOffPathReportsInsufficientBufferAsWindowsDoes",
         "Wine 8's GetModuleFileNameA cuts a path off without the terminating null, as Windows "
         "XP did; Windows since Vista ends it inside the buffer"},
    };
    return cases;
}

} // namespace

void SkipWhereWineDiffers() {
    if (!UnderWine())
        return;
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    const auto known =
        KnownWineDeviations().find(std::string(info->test_suite_name()) + "." + info->name());
    if (known != KnownWineDeviations().end())
        GTEST_SKIP() << "known Wine deviation: " << known->second;
}

} // namespace testing_support
