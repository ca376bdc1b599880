// The sample installer made and used as a user would: the generated media,
// the texts and the manifest of examples/sample are packed by sspack.exe
// into "Sample Setup.exe", which installs quietly under Wine (with the
// stand-in Flash control registered, since every installer checks for the
// player); then the uninstall command it registered removes everything
// again. The same installer built on the test build of the stub fails or is
// cancelled by a planted fault, and then leaves nothing; with another
// program's uninstall entry of the same name it is refused, and that entry
// stays as it was. The build paths
// come in as compile definitions.
//
// The program runs twice: in the test run's 32-bit prefix, and as a WOW64
// program in a 64-bit prefix (run-wow64.sh sets SS_WOW64_PREFIX). There the
// system directory this program and the installer see is SysWOW64, and the
// real System32 is reached through the "Sysnative" alias: the setting must
// name a file that a 64-bit program finds there, the engine byte for byte,
// and the uninstall must be started by a 64-bit program (Wine's own list of
// installed programs, uninstaller.exe).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/WinHandles.h"
#include "examples/saver/SaverText.h"
#include "flash/FlashIds.h"
#include "tests/e2e/examples/SampleTestSupport.h"
#include "tests/win/winsys/WinsysTestSupport.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_RegistryUtils.h"
#include "winsys/LMT_StringUtils.h"
#include "winsys/Wow64Redirection.h"

namespace ss::sample {
namespace {

using namespace test;

constexpr char kTitle[] = "Sample Aquarium";

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// Registry views of 64-bit Windows (the headers of the oldest systems lack
// the names); ignored elsewhere.
constexpr REGSAM kView64 = 0x0100;  // KEY_WOW64_64KEY
constexpr REGSAM kView32 = 0x0200;  // KEY_WOW64_32KEY

// Whether run-wow64.sh started this program in the 64-bit prefix.
bool InWow64Prefix() {
  char buf[8];
  const DWORD n = GetEnvironmentVariableA("SS_WOW64_PREFIX", buf, sizeof buf);
  return n == 1 && buf[0] == '1';
}

// The real System32 as a WOW64 program names it.
std::string NativeSystemDir() { return GetWindowsDirectoryPath() + "Sysnative\\"; }

bool UninstallKeyIn(HKEY root, REGSAM view) {
  RegKey key;
  return RegOpenKeyExA(root, UninstallKeyPath(kTitle).c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

// SS_FAULT for the installers started while it lives (children inherit it).
class PlannedFault {
 public:
  explicit PlannedFault(const std::string& fault) {
    if (!fault.empty()) SetEnvironmentVariableA("SS_FAULT", fault.c_str());
  }
  ~PlannedFault() { SetEnvironmentVariableA("SS_FAULT", nullptr); }
  PlannedFault(const PlannedFault&) = delete;
  PlannedFault& operator=(const PlannedFault&) = delete;
};

// How a run ends: installed (then removed by its uninstall command), or
// undone by the installer itself after a fault of the test build.
struct Outcome {
  const char* name;
  const char* fault;  // SS_FAULT; "" for the shipped installer
  long exitCode;
  // An installer made on the host instead of by sspack.exe here: the
  // installed sspack's signed build of the same sample (a signature is made
  // by osslsigncode, a Linux program; sample_installed_tool leaves it).
  const char* ready;
  // Another program's uninstall entry named like the sample is there
  // before: the install is refused (-607) and the entry stays as it was.
  bool titleTaken = false;
  // The same installer ran once before: its entry is taken over.
  bool installedBefore = false;
};

// That entry's values.
const char* const kForeignEntry[][2] = {{"Publisher", "Other Corp"},
                                        {"DisplayName", "Sample Aquarium (another program)"},
                                        {"UninstallString", "\"C:\\Program Files\\Other\\uninst.exe\" /x"}};

const Outcome kOutcomes[] = {
    {"Installed", "", 0, nullptr},
    // After activation and with the engine in both system directories: the
    // clean-up must take both copies and put the setting back.
    {"FailedAfterActivation", "place:5", 5, nullptr},
    // Right after the engine was written to both places.
    {"CancelledAfterEngine", "extract:cancel", kErrUserDeclined, nullptr},
    // The certificate table after the package changes nothing the installer
    // reads: the same files land.
    {"Signed", "", 0, SS_SIGNED_SAMPLE},
    // Refused before anything is written, whether the install would have
    // succeeded or failed (its clean-up once took the entry with it).
    {"TitleTaken", "", kErrForeignUninstallEntry, nullptr, true},
    {"TitleTakenFailing", "place:5", kErrForeignUninstallEntry, nullptr, true},
    {"InstalledAgain", "", 0, nullptr, false, true},
};

// The size of the certificate table that a program's headers name (the
// security directory, the fifth of a PE32 optional header); 0 when unsigned.
uint32_t CertificateTableSize(const std::string& program) {
  const std::string b = ReadText(program);
  auto u32 = [&](size_t at) {
    return at + 4 > b.size() ? 0u
                             : static_cast<uint32_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
                                                     static_cast<uint8_t>(b[at + 2]) << 16 |
                                                     static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
  };
  const size_t optionalHeader = u32(0x3C) + 24;
  return u32(optionalHeader + 96 + 4 * 8 + 4);
}

// Registers the stand-in Flash control for the test's duration and puts the
// previous registration back afterwards.
class FlashStandIn {
 public:
  explicit FlashStandIn(const std::string& dll) : previous_(RegString(HKEY_CLASSES_ROOT, kFlashInprocKey, nullptr)) {
    RegPut(HKEY_CLASSES_ROOT, kFlashInprocKey, nullptr, dll);
    RegPut(HKEY_CLASSES_ROOT, kFlashInprocKey, "ThreadingModel", "Apartment");
  }
  ~FlashStandIn() {
    if (!previous_.empty()) {
      RegPut(HKEY_CLASSES_ROOT, kFlashInprocKey, nullptr, previous_);
    } else {
      RegDeleteKeyA(HKEY_CLASSES_ROOT, kFlashInprocKey);
      RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kFlashClsidText).c_str());
    }
  }

 private:
  std::string previous_;
};

// The staged sample (what examples/build-sample.sh gathers) and the
// installer sspack.exe makes of it, or the row's ready installer.
class SampleRoundTrip : public testing::TestWithParam<Outcome> {
 protected:
  void SetUp() override {
    stage_ = scratch_ / "stage";
    ASSERT_TRUE(CreateDirectoryA(stage_.c_str(), nullptr));
    Process media(Quoted(WinePath(SS_SAMPLE_MEDIA)) + " " + Quoted(stage_));
    ASSERT_TRUE(media.started());
    ASSERT_EQ(media.Wait(60000), 0) << "sample_media.exe";
    for (const char* text : {"sample.json", "license.txt", "readme.txt", "captions.txt"}) {
      ASSERT_TRUE(CopyFileA((WinePath(SS_SAMPLE_DIR) + "\\" + text).c_str(), (stage_ + "\\" + text).c_str(),
                            FALSE))
          << text;
    }
    for (const char* built : {SS_SAMPLE_ENGINE, SS_SAMPLE_AQUAFX, SS_SAMPLE_AQUACAP}) {
      const std::string from = WinePath(built);
      ASSERT_TRUE(CopyFileA(from.c_str(), (stage_ + "\\" + from.substr(from.rfind('\\') + 1)).c_str(), FALSE))
          << from;
    }
    installer_ = scratch_ / "Sample Setup.exe";
    if (GetParam().ready != nullptr) {
      ASSERT_TRUE(CopyFileA(WinePath(GetParam().ready).c_str(), installer_.c_str(), FALSE))
          << GetParam().ready << " (made by sample_installed_tool)";
      ASSERT_GT(CertificateTableSize(installer_), 0u) << "not signed: " << GetParam().ready;
      return;
    }
    Process pack(Quoted(WinePath(SS_SSPACK)) + " build " + Quoted(stage_ + "\\sample.json") + " -o " +
                 Quoted(installer_) + " --stub " + Quoted(WinePath(*GetParam().fault ? SS_FAULT_STUB : SS_STUB)) +
                 " --impborl " +
                 Quoted(WinePath(SS_IMPBORL)) + " -q");
    ASSERT_TRUE(pack.started());
    ASSERT_EQ(pack.Wait(120000), 0) << "sspack.exe build";
  }

  std::string Staged(const std::string& name) const { return ReadText(stage_ + "\\" + name); }

  ScratchDir scratch_{"sample-trip"};
  std::string stage_;
  std::string installer_;
};

// Nothing of the sample in either system directory or either registry view.
void ExpectNothingLeft(const std::string& systemDir, bool wow64) {
  EXPECT_FALSE(Exists(systemDir + kTitle + ".scr"));
  EXPECT_FALSE(Exists(systemDir + kTitle + " dir"));
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    EXPECT_FALSE(KeyExists(root, kTitle)) << (root == HKEY_LOCAL_MACHINE ? "machine" : "user");
  }
  if (!wow64) return;
  EXPECT_FALSE(Exists(NativeSystemDir() + kTitle + ".scr")) << "left in the real System32";
  EXPECT_FALSE(Exists(NativeSystemDir() + kTitle + " dir")) << "left in the real System32";
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (REGSAM view : {kView32, kView64}) {
      EXPECT_FALSE(UninstallKeyIn(root, view))
          << (root == HKEY_LOCAL_MACHINE ? "machine" : "user") << (view == kView32 ? ", 32-bit" : ", 64-bit")
          << " registry view";
    }
  }
}

TEST_P(SampleRoundTrip, QuietInstallThenTheRegisteredUninstallLeavesNothing) {
  const Outcome& outcome = GetParam();
  const bool wow64 = InWow64Prefix();
  // The prefix says which system this is; the installer must see the same.
  ASSERT_EQ(RunsUnderWow64(), wow64) << "SS_WOW64_PREFIX and the system disagree";
  const std::string systemDir = GetSystemDirectoryPath();
  const std::string engine = systemDir + kTitle + ".scr";
  const std::string installDir = systemDir + kTitle + " dir\\";
  const std::string nativeEngine = NativeSystemDir() + kTitle + ".scr";
  if (wow64) {
    // This program's system directory is SysWOW64; the alias reaches the other.
    ASSERT_TRUE(Exists(NativeSystemDir() + "kernel32.dll")) << "no Sysnative alias";
    ASSERT_NE(LowerAscii(systemDir), LowerAscii(NativeSystemDir()));
  }
  // Never touch an install that was there before the test.
  ASSERT_FALSE(Exists(engine) || Exists(installDir) || KeyExists(HKEY_LOCAL_MACHINE, kTitle) ||
               (wow64 && Exists(nativeEngine)))
      << "a " << kTitle << " is already installed in this Wine prefix";
  SystemIniRestorer ini;
  PendingDeletes pending;
  FlashStandIn flash(WinePath(SS_FLASHCTL));
  InstallGuard guard(systemDir, kTitle);
  if (wow64) guard.AlsoDelete(nativeEngine);
  const std::string settingBefore = ScreenSaverSetting();
  if (outcome.titleTaken) {
    for (const auto& [name, value] : kForeignEntry) {
      ASSERT_TRUE(RegPut(HKEY_LOCAL_MACHINE, UninstallKeyPath(kTitle), name, value));
    }
  }
  if (outcome.installedBefore) {
    Process install(Quoted(installer_) + " /q");
    ASSERT_TRUE(install.started());
    ASSERT_EQ(install.Wait(120000), 0) << "the first install";
    ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kTitle));
  }

  {
    PlannedFault fault(outcome.fault);
    Process install(Quoted(installer_) + " /q");
    ASSERT_TRUE(install.started());
    ASSERT_EQ(install.Wait(120000), outcome.exitCode) << "the quiet install (" << outcome.name << ")";
  }
  if (outcome.titleTaken) {
    for (const auto& [name, value] : kForeignEntry) {
      EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, UninstallKeyPath(kTitle), name), value) << name;
    }
    // Removed here, so that the check below finds nothing of the sample.
    sstest::RegDeleteTree(HKEY_LOCAL_MACHINE, UninstallKeyPath(kTitle));
    ExpectNothingLeft(systemDir, wow64);
    EXPECT_EQ(ScreenSaverSetting(), settingBefore);
    return;
  }
  if (*outcome.fault) {
    // Undone by the installer: nothing anywhere, the setting as before.
    ExpectNothingLeft(systemDir, wow64);
    EXPECT_EQ(ScreenSaverSetting(), settingBefore);
    return;
  }

  // Installed as packed: engine, pictures, support files, document and the
  // settings header.
  const std::string packedEngine = Staged(std::string(kTitle) + ".scr");
  EXPECT_EQ(ReadText(engine), packedEngine);
  for (const char* picture : {"01-reef.bmp", "02-kelp.bmp", "03-jellies.bmp", "04-shoal.bmp"}) {
    EXPECT_EQ(ReadText(installDir + picture), Staged(std::string("media\\") + picture)) << picture;
  }
  for (const char* file : {"captions.txt", "aquafx.dll", "aquacap.dll", "readme.txt"}) {
    EXPECT_EQ(ReadText(installDir + file), Staged(file)) << file;
  }
  // sspack's header around our settings blob equals the one our generator
  // writes for four pictures.
  EXPECT_EQ(ReadText(installDir + "saver.dat"), Staged("saver.dat"));
  EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, UninstallKeyPath(kTitle), "DisplayName"),
            "Sample Aquarium Screen Saver");
  const std::string command = RegString(HKEY_LOCAL_MACHINE, UninstallKeyPath(kTitle), "UninstallString");
  ASSERT_EQ(command, "\"" + engine + "\" /u");

  if (!wow64) {
    EXPECT_EQ(ScreenSaverSetting(), ShortName(engine));
    Process uninstall(command);
    ASSERT_TRUE(uninstall.started());
    EXPECT_EQ(uninstall.Wait(30000), 0);
  } else {
    // The setting names a file that a 64-bit program (Wine's 64-bit cmd)
    // finds where the system looks, and that is the engine byte for byte.
    const std::string setting = ScreenSaverSetting();
    ASSERT_EQ(LowerAscii(setting).find(LowerAscii(systemDir)), 0u) << setting;
    const std::string seen = scratch_ / "seen-by-64-bit.scr";
    Process copy(Quoted(NativeSystemDir() + "cmd.exe") + " /c copy /b " + setting + " " + Quoted(seen));
    ASSERT_TRUE(copy.started()) << "no 64-bit cmd.exe";
    EXPECT_EQ(copy.Wait(60000), 0) << "a 64-bit program does not find " << setting;
    EXPECT_EQ(ReadText(seen), packedEngine) << setting;
    EXPECT_EQ(ReadText(nativeEngine), packedEngine);
    // The list of installed programs, a 64-bit program, runs the registered
    // command and waits for it.
    Process uninstall(Quoted(NativeSystemDir() + "uninstaller.exe") + " --remove " + Quoted(kTitle));
    ASSERT_TRUE(uninstall.started()) << "no 64-bit uninstaller.exe";
    EXPECT_EQ(uninstall.Wait(60000), 0);
  }

  ExpectNothingLeft(systemDir, wow64);
  EXPECT_EQ(ScreenSaverSetting(), "");
  // The running engine's own file waits outside the system directory for
  // the next start of Windows.
  const std::vector<std::string> added = pending.Added();
  ASSERT_EQ(added.size(), 1u);
  guard.AlsoDelete(added[0]);
  EXPECT_NE(LowerAscii(added[0]).find(LowerAscii(systemDir)), 0u) << added[0];
  EXPECT_EQ(ReadText(added[0]), packedEngine);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, SampleRoundTrip, testing::ValuesIn(kOutcomes),
                         [](const testing::TestParamInfo<Outcome>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ss::sample
