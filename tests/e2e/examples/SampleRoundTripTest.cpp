// The sample installer made and used as a user would: the generated media,
// the texts and the manifest of examples/sample are packed by sspack.exe
// into "Sample Setup.exe", which installs quietly under Wine (with the
// stand-in Flash control registered, since every installer checks for the
// player); then the uninstall command it registered removes everything
// again. The build paths come in as compile definitions.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "examples/saver/SaverText.h"
#include "flash/FlashIds.h"
#include "tests/e2e/examples/SampleTestSupport.h"
#include "tests/win/winsys/WinsysTestSupport.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_RegistryUtils.h"
#include "winsys/LMT_StringUtils.h"
#include "winsys/WinHandles.h"

namespace ss::sample {
namespace {

using ss::test::Exists;
using ss::test::ReadFile;
using ss::test::ScratchDir;
using test::InstallGuard;
using test::KeyExists;
using test::PendingDeletes;
using test::ProfileValue;
using test::Process;
using test::ReadString;
using test::ShortName;
using test::SystemIniRestorer;
using test::WinePathOf;

constexpr char kTitle[] = "Sample Aquarium";

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// Registers the stand-in Flash control for the test's duration and puts the
// previous registration back afterwards.
class FlashStandIn {
 public:
  explicit FlashStandIn(const std::string& dll) {
    hadValue_ = !(previous_ = ReadString(HKEY_CLASSES_ROOT, kFlashInprocKey, nullptr)).empty();
    RegKey key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, kFlashInprocKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) == ERROR_SUCCESS) {
      Set(key.get(), nullptr, dll);
      Set(key.get(), "ThreadingModel", "Apartment");
    }
  }
  ~FlashStandIn() {
    if (hadValue_) {
      RegKey key;
      if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kFlashInprocKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
        Set(key.get(), nullptr, previous_);
      }
    } else {
      RegDeleteKeyA(HKEY_CLASSES_ROOT, kFlashInprocKey);
      RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kFlashClsidText).c_str());
    }
  }

 private:
  static void Set(HKEY key, const char* name, const std::string& value) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
  }
  std::string previous_;
  bool hadValue_ = false;
};

// The staged sample (what examples/build-sample.sh gathers) and the
// installer sspack.exe makes of it.
class SampleRoundTrip : public testing::Test {
 protected:
  void SetUp() override {
    stage_ = scratch_ / "stage";
    ASSERT_TRUE(CreateDirectoryA(stage_.c_str(), nullptr));
    Process media(Quoted(WinePathOf(SS_SAMPLE_MEDIA)) + " " + Quoted(stage_));
    ASSERT_TRUE(media.started());
    ASSERT_EQ(media.Wait(60000), 0) << "sample_media.exe";
    for (const char* text : {"sample.json", "license.txt", "readme.txt", "captions.txt"}) {
      ASSERT_TRUE(CopyFileA((WinePathOf(SS_SAMPLE_DIR) + "\\" + text).c_str(), (stage_ + "\\" + text).c_str(),
                            FALSE))
          << text;
    }
    for (const char* built : {SS_SAMPLE_ENGINE, SS_SAMPLE_AQUAFX, SS_SAMPLE_AQUACAP}) {
      const std::string from = WinePathOf(built);
      ASSERT_TRUE(CopyFileA(from.c_str(), (stage_ + "\\" + from.substr(from.rfind('\\') + 1)).c_str(), FALSE))
          << from;
    }
    installer_ = scratch_ / "Sample Setup.exe";
    Process pack(Quoted(WinePathOf(SS_SSPACK)) + " build " + Quoted(stage_ + "\\sample.json") + " -o " +
                 Quoted(installer_) + " --stub " + Quoted(WinePathOf(SS_STUB)) + " --impborl " +
                 Quoted(WinePathOf(SS_IMPBORL)) + " -q");
    ASSERT_TRUE(pack.started());
    ASSERT_EQ(pack.Wait(120000), 0) << "sspack.exe build";
  }

  std::string Staged(const std::string& name) const { return ReadFile(stage_ + "\\" + name); }

  ScratchDir scratch_{"sample-trip"};
  std::string stage_;
  std::string installer_;
};

TEST_F(SampleRoundTrip, QuietInstallThenTheRegisteredUninstallLeavesNothing) {
  const std::string systemDir = GetSystemDirectoryPath();
  const std::string engine = systemDir + kTitle + ".scr";
  const std::string installDir = systemDir + kTitle + " dir\\";
  // Never touch an install that was there before the test.
  ASSERT_FALSE(Exists(engine) || Exists(installDir) || KeyExists(HKEY_LOCAL_MACHINE, kTitle))
      << "a " << kTitle << " is already installed in this Wine prefix";
  SystemIniRestorer ini;
  PendingDeletes pending;
  FlashStandIn flash(WinePathOf(SS_FLASHCTL));
  InstallGuard guard(systemDir, kTitle);

  Process install(Quoted(installer_) + " /q");
  ASSERT_TRUE(install.started());
  ASSERT_EQ(install.Wait(120000), 0) << "the quiet install failed";

  // Installed as packed: engine, pictures, support files, document and the
  // settings header.
  EXPECT_EQ(ReadFile(engine), Staged(std::string(kTitle) + ".scr"));
  for (const char* picture : {"01-reef.bmp", "02-kelp.bmp", "03-jellies.bmp", "04-shoal.bmp"}) {
    EXPECT_EQ(ReadFile(installDir + picture), Staged(std::string("media\\") + picture)) << picture;
  }
  for (const char* file : {"captions.txt", "aquafx.dll", "aquacap.dll", "readme.txt"}) {
    EXPECT_EQ(ReadFile(installDir + file), Staged(file)) << file;
  }
  // sspack's header around our settings blob equals the one our generator
  // writes for four pictures.
  EXPECT_EQ(ReadFile(installDir + "saver.dat"), Staged("saver.dat"));
  EXPECT_EQ(ProfileValue(), ShortName(engine));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, UninstallKeyPath(kTitle), "DisplayName"),
            "Sample Aquarium Screen Saver");
  const std::string command = ReadString(HKEY_LOCAL_MACHINE, UninstallKeyPath(kTitle), "UninstallString");
  ASSERT_EQ(command, "\"" + engine + "\" /u");

  Process uninstall(command);
  ASSERT_TRUE(uninstall.started());
  EXPECT_EQ(uninstall.Wait(30000), 0);

  EXPECT_FALSE(Exists(engine));
  EXPECT_FALSE(Exists(systemDir + kTitle + " dir"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kTitle));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTitle));
  EXPECT_EQ(ProfileValue(), "");
  // The running engine's own file waits outside the system directory for
  // the next start of Windows.
  const std::vector<std::string> added = pending.Added();
  ASSERT_EQ(added.size(), 1u);
  guard.AlsoDelete(added[0]);
  EXPECT_NE(LowerAscii(added[0]).find(LowerAscii(systemDir)), 0u) << added[0];
  EXPECT_EQ(ReadFile(added[0]), Staged(std::string(kTitle) + ".scr"));
}

}  // namespace
}  // namespace ss::sample
