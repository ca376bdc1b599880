#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/DebugLog.h"
#include "core/Messages.h"

namespace ss {
namespace {

const std::string kPrivileges =
    "Insufficient user account privileges.\r\n\r\nThe current user account has insufficient privileges to "
    "install screen savers. Please contact your system administrator for help in performing this "
    "installation.";

TEST(InstallErrorText, AccessDeniedWithCodeAsDetail) {
  EXPECT_EQ(ComposeInstallError(5, "5"), "Installation Error: 5\r\n\r\n" + kPrivileges);
}

TEST(InstallErrorText, SystemNumberNamesThePathTwice) {
  const std::string path = "C:\\windows\\system32\\Aqua.scr";
  EXPECT_EQ(ComposeInstallError(32, path),
            "Installation Error: " + path + "\r\n\r\nProblem with file " + path + ". ");
  // Program codes without a text of their own take the same general form.
  EXPECT_EQ(ComposeInstallError(kErrSegmentNoName, "x"), "Installation Error: x\r\n\r\nProblem with file x. ");
}

TEST(InstallErrorText, EngineBusyIgnoresDetail) {
  const std::string a = ComposeInstallError(kErrEngineBusy, "C:\\a.scr");
  EXPECT_EQ(a, ComposeInstallError(kErrEngineBusy, "anything else"));
  EXPECT_EQ(a.find("C:\\a.scr"), std::string::npos);
  EXPECT_EQ(a.rfind("Installation Error: Screen saver cannot be replaced.\r\n\r\nPlease close", 0), 0u);
}

// A title that is another program's uninstall entry: the same box in the
// installer window and after a direct install, the detail left out.
TEST(InstallErrorText, TitleOfAnotherProgramExplainsItself) {
  const std::string box = ComposeInstallError(kErrForeignUninstallEntry, "Aqua");
  EXPECT_EQ(box, ComposeInstallError(kErrForeignUninstallEntry, "other detail"));
  EXPECT_EQ(box.find("Aqua"), std::string::npos);
  EXPECT_EQ(box.rfind("Installation Error: Another program is registered under this screen saver's name in the list "
                      "of installed programs (Add or Remove Programs).\r\n\r\nThe screen saver was not installed, and "
                      "nothing was changed.",
                      0),
            0u)
      << box;
  EXPECT_EQ(ComposeStartupFailure(kErrForeignUninstallEntry), box);
  EXPECT_EQ(CompletionStatus(kErrForeignUninstallEntry), "Installation Aborted: The name belongs to another program.");
}

TEST(InstallErrorText, PackageCopyFailureAppendsSystemTextAndAdvice) {
  EXPECT_EQ(ComposeInstallError(kErrCopyPackage, "C:\\t\\temp.dat", ""),
            "Installation Error: C:\\t\\temp.dat\r\n\r\nPlease retry installation. If this message appears "
            "again, the installation cannot be completed because your user account has limited installation "
            "privileges. To complete this installation, login with administrative privileges and rerun this "
            "installer.");
  EXPECT_EQ(ComposeInstallError(kErrCopyPackage, "p", "sys").rfind("Installation Error: psys\r\n\r\n", 0), 0u);
}

TEST(StartupFailureText, CodesRunTogetherOnOneLine) {
  EXPECT_EQ(ComposeStartupFailure(kErrSegmentNoName), "Installer file is corrupted. Lumetra Error: -531. ");
  EXPECT_EQ(ComposeStartupFailure(kErrShortHeader), "Installer file is corrupted. Lumetra Error: -31. ");
  EXPECT_EQ(ComposeStartupFailure(kErrWorkDirUnprotected),
            "The installer cannot keep its work folder private on this system. Lumetra Error: -606. ");
  EXPECT_EQ(ComposeStartupFailure(kErrFlashNotOnNT), "This screen saver is not compatible with Windows NT.");
  const std::string flash = ComposeStartupFailure(kErrFlashMissing);
  EXPECT_EQ(flash.rfind("This screen saver requires the latest Macromedia Flash Player for Internet "
                        "Explorer.\r\n\r\nPlease download the free player from ",
                        0),
            0u);
  EXPECT_GT(flash.size(), 140u);  // continues past the quoted beginning
}

TEST(OtherBoxes, DataFileTexts) {
  EXPECT_EQ(ComposeDataFileInUse(), "Lumetra Error: Screen saver data file already in use.");
  EXPECT_EQ(ComposeDataFileOpenProblem("C:\\w\\A.ssd", 100),
            "Problem opening screen saver data file.\r\n\r\nFile: C:\\w\\A.ssd\r\n\r\n100");
  EXPECT_EQ(ComposeDataFileReadProblem("Reached the end of the file."),
            "Lumetra Error: Problem reading screen saver data file. Reached the end of the file.");
  EXPECT_EQ(ComposeCloseProblem("C:\\w\\A.ssd", "x"), "Problem closing file.\r\n\r\nFile: C:\\w\\A.ssd\r\nx");
}

TEST(CompletionStatusText, ByCode) {
  EXPECT_EQ(CompletionStatus(0), "Screen Saver Installation and Setup Complete.");
  EXPECT_EQ(CompletionStatus(5), "Installation Aborted: Insufficient user account privileges.");
  EXPECT_EQ(CompletionStatus(-38), "Installation Aborted: Screen saver cannot be replaced.");
  EXPECT_EQ(CompletionStatus(-13), "Install failed. Error: -13");
  EXPECT_EQ(CompletionStatus(32), "Install failed. Error: 32");
}

std::vector<std::string>* g_lines = nullptr;
void Capture(const char* line) { g_lines->push_back(line); }

TEST(DebugLogSink, CanBeCapturedAndRestored) {
  std::vector<std::string> lines;
  g_lines = &lines;
  DebugSink old = SetDebugSink(Capture);
  DebugLog("install error: -31");
  SetDebugSink(old);
  DebugLog("not captured");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "install error: -31");
}

}  // namespace
}  // namespace ss
