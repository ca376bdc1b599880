// Libraries planted beside the installer (a downloads folder is a shared
// place) are never loaded: the installer imports only libraries every
// process has, restricts its library search to the system directory, and
// loads impborl.dll by its full path in its own work directory. Once with
// the installer window (left with Cancel), whose start-up loads what the
// windows need, and once quiet, which makes no window. (Wine takes its own
// built-in system libraries whatever the path, so a planted copy of one of
// those could not show here; the names are planted all the same.)
#include "tests/e2e/install/InstallFixture.h"
#include "tests/e2e/install/Pictures.h"

namespace e2e {
namespace {

using ss::pack::Compression;

class Planting : public InstallE2e {};

TEST_F(Planting, DecoysBesideTheInstallerAreNeverLoaded) {
  PackagePlan plan;
  plan.title = "E2E Planted";
  plan.displayMode = ss::dmBitmap;  // a window to make
  plan.presentation = MakeBitmapFile(120, 80);
  plan.compression = Compression::kCompress;  // every item goes through impborl.dll
  const Package package = MakePackage(plan);
  const std::string exe = WriteInstaller(package);
  const std::string dir = exe.substr(0, exe.find_last_of('\\') + 1);
  // Names the installer or the libraries it uses might look for.
  const char* names[] = {"impborl.dll", "version.dll", "zlib1.dll", "comctl32.dll", "jpeg62.dll",
                         "flash.ocx",   "uxtheme.dll", "msimg32.dll"};
  const Bytes decoy = ReadAll(sstest::WinePath(SS_DECOY_PATH));
  ASSERT_FALSE(decoy.empty());
  for (const char* name : names) ASSERT_TRUE(WriteAll(dir + name, decoy)) << name;

  auto child = Start(exe, "");
  HWND win = WaitForInstaller(*child, plan.title);
  ASSERT_NE(win, nullptr) << child->LogText();
  EXPECT_TRUE(ClickButton(win, "Cancel"));
  EXPECT_TRUE(child->Wait(30000)) << child->LogText();

  child = RunToEnd(exe, "/q");
  EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
  ExpectInstalled(package);
  for (const char* name : names) {
    EXPECT_FALSE(FileExists(dir + name + ".loaded")) << name << " was loaded from beside the installer";
  }
}

}  // namespace
}  // namespace e2e
