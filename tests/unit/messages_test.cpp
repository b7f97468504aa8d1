// The message catalogue, the progress log and the log file writer.
#include "messages/messages.h"
#include "test_support.h"

#include <afxwin.h>
#include <gtest/gtest.h>

namespace {

using namespace testing_support;

class MessagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        AfxWinInit(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), 0);
        g_strLog.Empty();
    }
};

TEST_F(MessagesTest, CatalogueHoldsTheExactTexts) {
    EXPECT_STREQ(LoadMessageText(IDS_START), "Starting installation procedure...");
    EXPECT_STREQ(LoadMessageText(IDS_ERR_SYSTEM_FOLDER), "Error: Cannot get system folder.");
    EXPECT_STREQ(LoadMessageText(IDS_ERR_TARGET_PATH),
                 "Error: Cannot get installation target path.");
    EXPECT_STREQ(LoadMessageText(IDS_ERR_NO_SOURCE_FOLDER),
                 "Error: The '%s'\r\nsource folder isn't exist.");
    EXPECT_STREQ(LoadMessageText(IDS_ERR_COPY),
                 "Error: Cannot copy from\r\n'%s'\r\nto the\r\n'%s'");
    EXPECT_STREQ(LoadMessageText(IDS_DONE), "Installation is successfully complited.");
    EXPECT_STREQ(LoadMessageText(IDS_COPYING_DLLS),
                 "Copying required DLLs to the system folder...");
    EXPECT_STREQ(LoadMessageText(IDS_COPIED), "Copy from '%s'\r\nto '%s'");
    EXPECT_STREQ(LoadMessageText(IDS_ERR_READ_FOLDER),
                 "Error: Cannot read the '%s'\r\nsource folder.");
    EXPECT_STREQ(LoadMessageText(IDS_WAITING_FOR_OTHER_RUN),
                 "Waiting for another installation into '%s' to end...");
}

TEST_F(MessagesTest, UnknownIdsGiveEmptyText) {
    for (UINT id : {0u, 4u, 8u, 10u, 14u, 65535u})
        EXPECT_TRUE(LoadMessageText(id).IsEmpty()) << id;
}

TEST_F(MessagesTest, FormattingKeepsArgumentOrderAndLeavesPercentInArgumentsAlone) {
    EXPECT_STREQ(FormatMessageText(IDS_COPIED, CString("C:\\a%s%d.dll"), CString("D:\\b.dll")),
                 "Copy from 'C:\\a%s%d.dll'\r\nto 'D:\\b.dll'");
    EXPECT_STREQ(FormatMessageText(IDS_ERR_NO_SOURCE_FOLDER, CString("Z:\\p\\LIB")),
                 "Error: The 'Z:\\p\\LIB'\r\nsource folder isn't exist.");
}

TEST_F(MessagesTest, LogKeepsEachMessageWholeWithOneClosingCrLf) {
    testing::internal::CaptureStdout();
    LogMessage("first");
    LogMessage(FormatMessageText(IDS_COPIED, CString("a"), CString("b")));
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, "first\nCopy from 'a'\r\nto 'b'\n");
    EXPECT_STREQ(g_strLog, "first\r\nCopy from 'a'\r\nto 'b'\r\n");
}

// A wait is what the run went through, not what it did: the console shows it, the log does not.
TEST_F(MessagesTest, ShownMessagesStayOutOfTheLog) {
    testing::internal::CaptureStdout();
    LogMessage("first");
    ShowMessage(FormatMessageText(IDS_WAITING_FOR_OTHER_RUN, CString("C:\\windows\\system32")));
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(console,
              "first\nWaiting for another installation into 'C:\\windows\\system32' to end...\n");
    EXPECT_STREQ(g_strLog, "first\r\n");
}

TEST_F(MessagesTest, LogFileHoldsExactlyTheTextAndCutsALongerOldFile) {
    TempFolder folder;
    ScopedPrefix prefix(MakePrefix(folder / "prefix"));
    const fs::path file = folder / "InstallLog_DLL.txt";
    WriteBytes(file, std::string(4096, 'x'));
    const std::string dosPath = "Z:" + file.string();
    WriteTextFile(dosPath.c_str(), "a\r\nb\r\n");
    EXPECT_EQ(ReadBytes(file), "a\r\nb\r\n");
}

// The log is written beside and renamed into place: a link at its name is replaced, never
// written through, and no temporary file stays behind.
TEST_F(MessagesTest, LogFileReplacesALinkAtItsNameAndLeavesNoTemporary) {
    TempFolder folder;
    ScopedPrefix prefix(MakePrefix(folder / "prefix"));
    WriteBytes(folder / "outside.txt", "precious");
    fs::create_directory(folder / "program");
    fs::create_symlink(folder / "outside.txt", folder / "program" / "InstallLog_DLL.txt");
    WriteTextFile(DosPath(folder / "program" / "InstallLog_DLL.txt").c_str(), "log\r\n");
    EXPECT_EQ(ReadBytes(folder / "outside.txt"), "precious");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "program" / "InstallLog_DLL.txt")));
    EXPECT_EQ(ReadBytes(folder / "program" / "InstallLog_DLL.txt"), "log\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "program"), {}), 1);
}

// What a killed run left under the temporary name is cleared; a link there is never touched,
// and then there is no new log.
TEST_F(MessagesTest, LogFileClearsAHalfWrittenLeftoverButNoLinkAtItsTemporaryName) {
    TempFolder folder;
    ScopedPrefix prefix(MakePrefix(folder / "prefix"));
    const fs::path log = folder / "InstallLog_DLL.txt", temporary = folder / "~InstallLog.tmp";
    WriteBytes(temporary, "half");
    WriteTextFile(DosPath(log).c_str(), "whole\r\n");
    EXPECT_EQ(ReadBytes(log), "whole\r\n");
    EXPECT_FALSE(fs::exists(temporary));
    WriteBytes(folder / "outside.txt", "precious");
    fs::create_symlink(folder / "outside.txt", temporary);
    WriteTextFile(DosPath(log).c_str(), "newer\r\n");
    EXPECT_EQ(ReadBytes(log), "whole\r\n");
    EXPECT_EQ(ReadBytes(folder / "outside.txt"), "precious");
    EXPECT_TRUE(fs::is_symlink(temporary));
}

TEST_F(MessagesTest, UnwritableLogFileIsSwallowed) {
    TempFolder folder;
    ScopedPrefix prefix(MakePrefix(folder / "prefix"));
    fs::create_directory(folder / "InstallLog_DLL.txt");
    const std::string dosPath = "Z:" + (folder / "InstallLog_DLL.txt").string();
    WriteTextFile(dosPath.c_str(), "text");
    WriteTextFile("Z:\\no\\such\\folder\\log.txt", "text");
    EXPECT_TRUE(fs::is_directory(folder / "InstallLog_DLL.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 2)
        << "a temporary log file was left beside the folder";
}

} // namespace
