#include "tests/e2e/install/InstallFixture.h"

#include <algorithm>

#include "flash/FlashIds.h"
#include "tests/support/WinTestUtil.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_RegistryUtils.h"
#include "winsys/Wow64Redirection.h"

namespace e2e {

using ss::pack::Compression;

using sstest::WinePath;

constexpr char kAppDefaults[] = "Software\\Wine\\AppDefaults\\";

const Bytes& InstallE2e::Stub() {
  static const Bytes bytes = ReadAll(WinePath(SS_STUB_PATH));
  return bytes;
}

const Bytes& InstallE2e::Library() {
  static const Bytes bytes = ReadAll(WinePath(SS_IMPBORL_PATH));
  return bytes;
}

bool InstallE2e::UseStub(const std::string& buildPath) {
  static std::map<std::string, Bytes> stubs;
  Bytes& bytes = stubs[buildPath];
  if (bytes.empty()) bytes = ReadAll(WinePath(buildPath));
  stub_ = &bytes;
  return bytes.size() > 1000;
}

void InstallE2e::SetUp() {
  ASSERT_GT(Stub().size(), 1000u) << "installer stub not readable: " << SS_STUB_PATH;
  ASSERT_GT(Library().size(), 1000u) << "decompression library not readable: " << SS_IMPBORL_PATH;
  // In the 64-bit prefix (run-wow64.sh) the checks of the real System32 and
  // the 64-bit registry view must not pass by looking at nothing.
  if (GetEnvironmentVariableA("SS_WOW64_PREFIX", nullptr, 0) != 0) {
    ASSERT_TRUE(ss::RunsUnderWow64()) << "SS_WOW64_PREFIX set, but not under WOW64";
  }
  static int counter = 0;
  scratch_ = TempDir() + "e2eG" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter) + "\\";
  CreateDirectoryA(scratch_.c_str(), nullptr);
  workDirsBefore_ = ListDir(TempDir(), "LMF*");
  screenSaverBefore_ = ScreenSaverSetting();
  // Every package checks the player at start-up; most tests want one there.
  RegisterFlashControl(WinePath(SS_FLASHCTL_PATH));
}

void InstallE2e::TearDown() {
  for (const std::string& title : titles_) {
    const std::string engine = EnginePath(title);
    SetFileAttributesA(engine.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(engine.c_str());
    ss::DeleteNativeFile(engine);  // the copy in the real System32 under WOW64
    ss::RemoveDirectoryTree(InstallDir(title));
    RegDeleteTree(HKEY_LOCAL_MACHINE, ss::UninstallKeyPath(title));
    RegDeleteTree(HKEY_CURRENT_USER, ss::UninstallKeyPath(title));
  }
  SetScreenSaverSetting(screenSaverBefore_);
  UnregisterFlashControl();
  for (const std::string& exe : versionExes_) RegDeleteTree(HKEY_CURRENT_USER, kAppDefaults + exe);
  if (deskPlaced_) {
    // A panel still open keeps its file; close it first.
    if (HWND panel = FindWindowA(nullptr, "Display Properties")) PostMessageA(panel, WM_COMMAND, IDCANCEL, 0);
    const std::string desk = SystemDir() + "desk.cpl";
    for (int i = 0; i < 50 && FileExists(desk) && !DeleteFileA(desk.c_str()); ++i) Pump(100);
  }
  // A failed test may leave a work directory behind; the next one must not
  // count it.
  for (const std::string& dir : NewWorkDirs()) ss::RemoveDirectoryTree(TempDir() + dir + "\\");
  ss::RemoveDirectoryTree(scratch_);
}

Package InstallE2e::MakePackage(const PackagePlan& plan) {
  ss::pack::FixtureOptions o;
  o.title = plan.title;
  o.displayMode = plan.displayMode;
  o.license = plan.license;
  o.document = plan.document;
  o.flashVersionIndex = plan.flashVersionIndex;
  o.showDisplayProperties = plan.showDisplayProperties;
  o.compression = plan.compression;
  o.entryCompression = plan.compression;
  o.library = Library();
  Package p;
  p.input = ss::pack::MakeFixtureInput(o);
  auto& segs = p.input.segments;
  if (!plan.presentation.empty()) segs[ss::kSegPresentation]->data = plan.presentation;
  if (plan.engineSize != 0) segs[ss::kSegEngine]->data = ss::pack::MakeNoiseBytes(plan.engineSize, 77);
  if (plan.supportSize != 0) segs[ss::kSegSupportFile]->data = ss::pack::MakeNoiseBytes(plan.supportSize, 78);

  // A data file of our own, so that every entry's bytes are known here:
  // text that compresses, noise that does not, a one-byte file, sub-folders.
  ss::pack::DataFileInput data;
  for (size_t i = 0; i < data.settings.size(); ++i) data.settings[i] = static_cast<uint8_t>((i * 13 + 5) & 0xFF);
  p.dataEntries["notes.txt"] = ss::pack::MakeTextBytes(9000, 501);
  p.dataEntries["pics\\noise.bin"] = ss::pack::MakeNoiseBytes(4000, 502);
  p.dataEntries["pics\\deep\\one.dat"] = Bytes(1, 0x5A);
  for (const auto& [name, bytes] : p.dataEntries) {
    data.entries.push_back(ss::pack::Entry(name, bytes, plan.compression, name));
  }
  Bytes dataBytes;
  const ss::pack::ToolResult built = ss::pack::BuildSaverDataFile(data, &dataBytes);
  EXPECT_TRUE(built.ok()) << built.message();
  segs[ss::kSegDataFile]->data = dataBytes;
  titles_.push_back(plan.title);
  return p;
}

std::string InstallE2e::WriteInstaller(const Package& package, const std::string& exeName,
                                       const std::function<void(Bytes&)>& patch) {
  Bytes bytes;
  const ss::pack::ToolResult built =
      ss::pack::BuildInstaller(stub_ != nullptr ? *stub_ : Stub(), package.input, &bytes);
  EXPECT_TRUE(built.ok()) << built.message();
  if (patch) patch(bytes);
  const std::string path = scratch_ + exeName;
  EXPECT_TRUE(WriteAll(path, bytes)) << path;
  return path;
}

ss::TPackageHeader InstallE2e::HeaderOf(const Bytes& installer) {
  return ss::TPackageHeader::Parse(installer.data() + Stub().size());
}

void InstallE2e::PutHeader(Bytes& installer, const ss::TPackageHeader& header) {
  header.Write(installer.data() + Stub().size());
}

std::unique_ptr<ChildProcess> InstallE2e::Start(const std::string& exe, const std::string& args,
                                               const std::string& currentDir) {
  auto child = std::make_unique<ChildProcess>();
  ++runs_;
  EXPECT_TRUE(child->Start(exe, args, currentDir)) << "cannot start " << exe << ": " << GetLastError();
  return child;
}

std::unique_ptr<ChildProcess> InstallE2e::RunToEnd(const std::string& exe, const std::string& args,
                                                  DWORD timeoutMs, const std::string& currentDir) {
  auto child = Start(exe, args, currentDir);
  EXPECT_TRUE(child->Wait(timeoutMs)) << exe << " " << args << " did not end in time\n" << child->LogText();
  return child;
}

HWND InstallE2e::WaitForInstaller(const ChildProcess& child, const std::string& title, DWORD timeoutMs) {
  return WaitForWindow(
      child.pid(),
      [&](HWND w) {
        const std::string text = WindowText(w);
        return IsForm(w) && (text == "Install: " + title || text == "Install Screen Saver: " + title);
      },
      timeoutMs, &child);
}

bool InstallE2e::HasChildText(HWND parent, const std::string& text) {
  for (const std::string& shown : VisibleChildTexts(parent)) {
    if (shown == text) return true;
  }
  return false;
}

bool InstallE2e::ProcessShowsText(DWORD pid, const std::string& text) {
  for (HWND w : WindowsOf(pid)) {
    if (HasChildText(w, text)) return true;
  }
  return false;
}

bool InstallE2e::WaitForChildText(HWND parent, const std::string& text, DWORD timeoutMs) {
  timeoutMs = sstest::Slow(timeoutMs);
  const DWORD start = GetTickCount();
  while (!HasChildText(parent, text)) {
    if (GetTickCount() - start > timeoutMs || !IsWindow(parent)) return false;
    Sleep(5);
  }
  return true;
}

bool InstallE2e::ButtonUsable(HWND parent, const std::string& caption) {
  HWND b = FindButton(parent, caption);
  return b != nullptr && IsWindowVisible(b) && IsWindowEnabled(b);
}

std::vector<Box> InstallE2e::FinishAnsweringBoxes(ChildProcess& child, DWORD timeoutMs) {
  std::vector<Box> boxes;
  timeoutMs = sstest::Slow(timeoutMs);
  const DWORD start = GetTickCount();
  while (child.Running() && GetTickCount() - start < timeoutMs) {
    if (HWND box = WaitForBox(child.pid(), 100, &child)) {
      boxes.push_back(ReadBox(box));
      if (!boxes.back().buttons.empty()) ClickButton(box, boxes.back().buttons.front());
      for (DWORD i = 0; i < sstest::Slow(100) && IsWindow(box); ++i) Pump(20);
    }
  }
  EXPECT_TRUE(child.Wait(1000)) << "installer did not end\n" << child.LogText();
  return boxes;
}

std::string InstallE2e::EnginePath(const std::string& title) { return SystemDir() + title + ".scr"; }

std::string InstallE2e::InstallDir(const std::string& title) { return SystemDir() + title + " dir\\"; }

bool InstallE2e::UninstallEntryExists(const std::string& title) {
  bool hklm = false, hkcu = false;
  RegString(HKEY_LOCAL_MACHINE, ss::UninstallKeyPath(title), "UninstallString", &hklm);
  RegString(HKEY_CURRENT_USER, ss::UninstallKeyPath(title), "UninstallString", &hkcu);
  // Under WOW64 the machine's 64-bit registry view as well (on 32-bit
  // Windows the flag is ignored and this is the same key again).
  HKEY key = nullptr;
  const bool hklm64 = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ss::UninstallKeyPath(title).c_str(), 0,
                                    KEY_READ | 0x0100 /* KEY_WOW64_64KEY */, &key) == ERROR_SUCCESS;
  if (hklm64) RegCloseKey(key);
  return hklm || hkcu || hklm64;
}

void InstallE2e::ExpectInstalled(const Package& package) {
  const std::string title = package.input.title;
  const std::string dir = InstallDir(title);
  EXPECT_TRUE(ReadAll(EnginePath(title)) == package.segment(ss::kSegEngine)) << "engine differs";
  EXPECT_TRUE(ReadAll(dir + package.input.segments[ss::kSegSupportFile]->name) ==
              package.segment(ss::kSegSupportFile));
  EXPECT_TRUE(ReadAll(dir + package.input.segments[ss::kSegSupportLib1]->name) ==
              package.segment(ss::kSegSupportLib1));
  EXPECT_TRUE(ReadAll(dir + package.input.segments[ss::kSegSupportLib2]->name) ==
              package.segment(ss::kSegSupportLib2));
  for (const auto& [name, bytes] : package.dataEntries) {
    EXPECT_TRUE(FileExists(dir + name)) << name;
    EXPECT_TRUE(ReadAll(dir + name) == bytes) << name << " differs";
  }
  const Bytes& data = package.segment(ss::kSegDataFile);
  const Bytes header(data.begin(), data.begin() + ss::kSaverDataHeaderSize);
  EXPECT_TRUE(ReadAll(dir + "saver.dat") == header) << "saver.dat is not the data file's header";

  char shortPath[MAX_PATH] = {};
  ASSERT_NE(GetShortPathNameA(EnginePath(title).c_str(), shortPath, MAX_PATH), 0u);
  EXPECT_EQ(ScreenSaverSetting(), shortPath);

  bool found = false;
  std::string uninstall = RegString(HKEY_LOCAL_MACHINE, ss::UninstallKeyPath(title), "UninstallString", &found);
  if (!found) uninstall = RegString(HKEY_CURRENT_USER, ss::UninstallKeyPath(title), "UninstallString", &found);
  EXPECT_TRUE(found) << "no uninstall entry";
  EXPECT_NE(uninstall.find(title + ".scr"), std::string::npos) << uninstall;
  EXPECT_TRUE(NewWorkDirs().empty()) << "work directory left: " << NewWorkDirs().front();
}

void InstallE2e::ExpectNothingInstalled(const std::string& title) {
  EXPECT_FALSE(FileExists(EnginePath(title))) << "engine left";
  EXPECT_FALSE(DirExists(InstallDir(title))) << "install directory left";
  // Under WOW64 (run-wow64.sh) nothing in the real System32 either.
  EXPECT_FALSE(ss::NativeFileExists(EnginePath(title))) << "engine left in the real System32";
  EXPECT_FALSE(UninstallEntryExists(title)) << "uninstall entry left";
  EXPECT_TRUE(NewWorkDirs().empty()) << "work directory left: " << NewWorkDirs().front();
}

namespace {
const char* const kForeignValues[][2] = {{"Publisher", "Other Corp"},
                                         {"DisplayName", "Other Program"},
                                         {"UninstallString", "\"C:\\Program Files\\Other\\uninst.exe\" /remove"}};
}  // namespace

void InstallE2e::PutForeignEntry(HKEY root, const std::string& title, bool withCommand) {
  titles_.push_back(title);
  for (const auto& [name, value] : kForeignValues) {
    if (withCommand || std::string(name) != "UninstallString") {
      ASSERT_TRUE(RegPut(root, ss::UninstallKeyPath(title), name, value)) << name;
    }
  }
}

void InstallE2e::ExpectRefusedUntouched(HKEY root, const std::string& title, bool withCommand,
                                        const Bytes& iniBefore) {
  const std::string key = ss::UninstallKeyPath(title);
  for (const auto& [name, value] : kForeignValues) {
    bool found = false;
    const std::string now = RegString(root, key, name, &found);
    if (withCommand || std::string(name) != "UninstallString") {
      EXPECT_TRUE(found && now == value) << name << " is \"" << now << "\"";
    } else {
      EXPECT_FALSE(found) << name << " written: " << now;
    }
  }
  EXPECT_FALSE(sstest::KeyExists(root == HKEY_LOCAL_MACHINE ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, key))
      << "an entry under the other root";
  EXPECT_FALSE(FileExists(EnginePath(title))) << "engine written";
  EXPECT_FALSE(DirExists(InstallDir(title))) << "install directory made";
  EXPECT_TRUE(ReadAll(WindowsDir() + "system.ini") == iniBefore) << "system.ini changed";
  EXPECT_TRUE(NewWorkDirs().empty()) << "work directory left: " << NewWorkDirs().front();
}

std::vector<std::string> InstallE2e::NewWorkDirs() const {
  std::vector<std::string> fresh;
  for (const std::string& dir : ListDir(TempDir(), "LMF*")) {
    if (std::find(workDirsBefore_.begin(), workDirsBefore_.end(), dir) == workDirsBefore_.end()) {
      fresh.push_back(dir);
    }
  }
  return fresh;
}

void InstallE2e::RegisterFlashControl(const std::string& dllPath) {
  UnregisterFlashControl();
  RegPut(HKEY_CLASSES_ROOT, ss::kFlashInprocKey, nullptr, dllPath);
  RegPut(HKEY_CLASSES_ROOT, ss::kFlashInprocKey, "ThreadingModel", "Apartment");
}

void InstallE2e::UnregisterFlashControl() {
  RegDeleteTree(HKEY_CLASSES_ROOT, std::string("CLSID\\") + ss::kFlashClsidText);
}

void InstallE2e::SetWindowsVersion(const std::string& exeName, const std::string& version) {
  RegPut(HKEY_CURRENT_USER, kAppDefaults + exeName, "Version", version);
  versionExes_.push_back(exeName);
}

void InstallE2e::PlaceDisplayPanel() {
  ASSERT_TRUE(CopyFileA(WinePath(SS_DESK_CPL_PATH).c_str(), (SystemDir() + "desk.cpl").c_str(), FALSE))
      << GetLastError();
  deskPlaced_ = true;
}

HWND InstallE2e::WaitForDisplayPanel(DWORD timeoutMs) {
  return WaitForWindow(
      0, [](HWND w) { return WindowText(w) == "Display Properties"; }, timeoutMs);
}

void InstallE2e::CloseDisplayPanel(HWND panel) {
  PostMessageA(panel, WM_COMMAND, IDCANCEL, 0);
  for (int i = 0; i < 100 && IsWindow(panel); ++i) Pump(50);
}

void InstallE2e::Screenshot(HWND w, const std::string& name) {
  const std::string dir = WinePath(SS_SCREENSHOT_DIR);
  CreateDirectoryA(dir.c_str(), nullptr);
  EXPECT_TRUE(sstest::SaveWindowPicture(w, dir + "\\" + name + ".bmp")) << name;
}

}  // namespace e2e
