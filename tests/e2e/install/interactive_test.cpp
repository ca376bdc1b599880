// Installers run as a user runs them: the window found by its caption, its
// buttons pressed, its boxes read and answered, and the outcome read back.
// Pictures of the windows go to the screenshot folder.
#include <string>

#include "core/ResultCodes.h"
#include "tests/e2e/install/InstallFixture.h"
#include "tests/e2e/install/Pictures.h"
#include "tests/host/flash/SwfBuilder.h"
#include "winsys/LMT_FileUtils.h"

namespace e2e {
namespace {

constexpr char kComplete[] = "Screen Saver Installation and Setup Complete.";
constexpr char kWriting[] = "Writing screen saver files...";
constexpr char kOpenPanelQuestion[] =
    "The installation of the screen saver was successful.\r\n\r\nWould you like to open the screen saver control "
    "panel?";

class InteractiveInstall : public InstallE2e {};

// A movie made compressed ("CWS"): its body in a zlib stream of one stored
// block.
Bytes CompressedMovie(const Bytes& fws) {
  Bytes out(fws.begin(), fws.begin() + 8);
  out[0] = 'C';
  const size_t n = fws.size() - 8;
  const uint8_t head[] = {0x78, 0x01, 0x01, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                          static_cast<uint8_t>(~n), static_cast<uint8_t>(~n >> 8)};
  out.insert(out.end(), head, head + sizeof head);
  uint32_t a = 1, b = 0;
  for (size_t i = 8; i < fws.size(); ++i) {
    out.push_back(fws[i]);
    a = (a + fws[i]) % 65521;
    b = (b + a) % 65521;
  }
  const uint32_t adler = b << 16 | a;
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(adler >> shift));
  return out;
}

// A bitmap presentation, Install, the completion phase and its question:
// the program ends by itself with everything installed. On Yes the
// application's window goes to its taskbar button before the panel opens;
// the installer window goes with it, never minimised by itself into a stray
// caption.
TEST_F(InteractiveInstall, BitmapPackageInstallsToCompleteAndAsksAboutThePanel) {
  int n = 0;
  for (const char* answer : {"No", "Yes"}) {
    SCOPED_TRACE(answer);
    const bool yes = std::string(answer) == "Yes";
    if (yes) PlaceDisplayPanel();
    PackagePlan plan;
    plan.title = "E2E Bitmap Complete " + std::to_string(++n);
    plan.displayMode = ss::dmBitmap;
    plan.presentation = MakeBitmapFile(320, 200);
    plan.showDisplayProperties = true;
    const Package package = MakePackage(plan);
    auto child = Start(WriteInstaller(package), "");
    HWND win = WaitForInstaller(*child, plan.title);
    ASSERT_NE(win, nullptr) << child->LogText();
    EXPECT_EQ(WaitForBox(child->pid(), 300, child.get()), nullptr) << "a box came with the window";
    Pump(300);
    if (!yes) {
      Screenshot(win, "e2e-install-bitmap");
      EXPECT_GT(DistinctColours(win, 0.05, 0.6), 20) << "no picture in the presentation area";
    }
    ASSERT_TRUE(ButtonUsable(win, "Install"));

    ClickButton(win, "Install");
    HWND box = WaitForBox(child->pid(), 30000, child.get());
    ASSERT_NE(box, nullptr) << child->LogText();
    const Box question = ReadBox(box);
    EXPECT_EQ(question.Shown(), std::make_tuple("Confirm", kOpenPanelQuestion, Buttons{"Yes", "No"}));
    // Behind the question the window is in its Complete phase.
    EXPECT_TRUE(HasChildText(win, kComplete));
    EXPECT_TRUE(ButtonUsable(win, "Close"));
    HWND install = FindButton(win, "Install");
    EXPECT_TRUE(install == nullptr || !IsWindowVisible(install));
    if (!yes) Screenshot(win, "e2e-install-complete");
    ClickButton(box, answer);

    // Until the program ends (the panel starting gives it a while): which
    // of its windows were seen minimised. A form minimised with its owner
    // (Wine minimises owned windows along with the application's) is fine;
    // one minimised while the application's window is not is a stray caption.
    bool applicationMinimised = false;
    bool formMinimised = false;
    while (child->Running()) {
      // The forms first, then the application's window: its minimising
      // comes first, so a form seen minimised with it finds it minimised.
      bool formIconic = false;
      HWND application = nullptr;
      for (HWND w : WindowsOf(child->pid())) {
        if (ClassOf(w) == "SsApplication") application = w;
        if (IsForm(w) && IsIconic(w)) formIconic = true;
      }
      const bool applicationIconic = application != nullptr && IsIconic(application);
      applicationMinimised = applicationMinimised || applicationIconic;
      formMinimised = formMinimised || (formIconic && !applicationIconic);
      Sleep(2);
    }
    EXPECT_EQ(applicationMinimised, yes);
    EXPECT_FALSE(formMinimised) << "a form was minimised by itself";
    EXPECT_TRUE(child->Wait(30000));
    EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
    ExpectInstalled(package);
    if (yes) {
      HWND panel = WaitForDisplayPanel(15000);
      EXPECT_NE(panel, nullptr) << "the Display control panel did not open\n" << child->LogText();
      if (panel != nullptr) CloseDisplayPanel(panel);
    }
  }
}

// A JPEG presentation with a licence: the button reads "Accept and Install";
// the licence lands in the install directory; with the panel offer clear the
// program ends after the install without any question.
TEST_F(InteractiveInstall, LicencePackageAcceptsAndInstallsWithoutQuestion) {
  PackagePlan plan;
  plan.displayMode = ss::dmJpeg;
  plan.presentation = MakeJpegFile(320, 200);
  plan.license = true;
  plan.showDisplayProperties = false;
  const Package package = MakePackage(plan);
  auto child = Start(WriteInstaller(package), "");
  HWND win = WaitForInstaller(*child, plan.title);
  ASSERT_NE(win, nullptr) << child->LogText();
  Pump(300);
  Screenshot(win, "e2e-install-jpeg-licence");
  EXPECT_GT(DistinctColours(win, 0.05, 0.4), 20) << "no picture in the presentation area";
  EXPECT_EQ(FindButton(win, "Install"), nullptr);
  ASSERT_TRUE(ClickButton(win, "Accept and Install"));

  const std::vector<Box> boxes = FinishAnsweringBoxes(*child);
  EXPECT_TRUE(boxes.empty()) << boxes.front().caption << ": " << boxes.front().text;
  EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
  ExpectInstalled(package);
  const auto& licence = *package.input.segments[ss::kSegLicense];
  EXPECT_TRUE(ReadAll(InstallDir(plan.title) + licence.name) == licence.data);
}

// A picture that does not decode: the "CorruptFile: " box, then the window
// with an empty presentation, and the install still works. A bitmap cut
// inside its header must be refused like any other, not read past its end.
TEST_F(InteractiveInstall, CorruptPictureIsReportedAndTheInstallStillWorks) {
  Bytes noiseBitmap = ss::pack::MakeNoiseBytes(4000, 9);
  noiseBitmap[0] = 'B';
  noiseBitmap[1] = 'M';
  Bytes cutBitmap = MakeBitmapFile(64, 64);
  cutBitmap.resize(30);
  Bytes noiseJpeg = ss::pack::MakeNoiseBytes(4000, 10);
  noiseJpeg[0] = 0xFF;
  noiseJpeg[1] = 0xD8;
  noiseJpeg[2] = 0xFF;
  struct Case {
    const char* what;
    uint8_t displayMode;
    const Bytes* picture;
  };
  const Case cases[] = {{"bitmap of noise", ss::dmBitmap, &noiseBitmap},
                        {"JPEG of noise", ss::dmJpeg, &noiseJpeg},
                        {"bitmap cut inside its header", ss::dmBitmap, &cutBitmap}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PackagePlan plan;
    plan.title = "E2E Corrupt " + std::to_string(++n);
    plan.displayMode = c.displayMode;
    plan.presentation = *c.picture;
    const Package package = MakePackage(plan);
    auto child = Start(WriteInstaller(package), "");
    HWND boxWindow = WaitForBox(child->pid(), 30000, child.get());
    if (boxWindow == nullptr) {
      child->Wait(5000);
      ADD_FAILURE() << "no box; exit code " << static_cast<int32_t>(child->exitCode()) << "\n" << child->LogText();
      continue;
    }
    const Box box = ReadBox(boxWindow);
    EXPECT_EQ(box.Shown(), std::make_tuple("Error", "CorruptFile: ", Buttons{"Abort"}));
    ClickButton(boxWindow, "Abort");

    HWND win = WaitForInstaller(*child, plan.title);
    ASSERT_NE(win, nullptr) << child->LogText();
    Pump(300);
    EXPECT_LE(DistinctColours(win, 0.05, 0.6), 2) << "the presentation area is not empty";
    ASSERT_TRUE(ClickButton(win, "Install"));
    const std::vector<Box> later = FinishAnsweringBoxes(*child);
    EXPECT_TRUE(later.empty()) << later.front().text;
    EXPECT_EQ(child->exitCode(), 0u);
    ExpectInstalled(package);
  }
}

// Declining to overwrite: nothing removed, no error box, Install usable
// again; Cancel then closes the window.
TEST_F(InteractiveInstall, DecliningTheOverwriteQuestionKeepsTheOldScreenSaver) {
  PackagePlan plan;
  plan.displayMode = ss::dmBitmap;
  plan.presentation = MakeBitmapFile(100, 80);
  const Package package = MakePackage(plan);
  const Bytes oldEngine(321, 'e');
  ASSERT_TRUE(CreateDirectoryA(InstallDir(plan.title).c_str(), nullptr));
  ASSERT_TRUE(WriteAll(InstallDir(plan.title) + "old.txt", Bytes(10, 'o')));
  ASSERT_TRUE(WriteAll(EnginePath(plan.title), oldEngine));

  auto child = Start(WriteInstaller(package), "");
  HWND win = WaitForInstaller(*child, plan.title);
  ASSERT_NE(win, nullptr) << child->LogText();
  ClickButton(win, "Install");
  HWND boxWindow = WaitForBox(child->pid(), 30000, child.get());
  ASSERT_NE(boxWindow, nullptr) << child->LogText();
  const Box box = ReadBox(boxWindow);
  const std::string overwrite = plan.title + " screen saver already exists. Overwrite?";
  EXPECT_EQ(box.Shown(), std::make_tuple("Confirm", overwrite, Buttons{"OK", "Cancel"}));
  ClickButton(boxWindow, "Cancel");

  EXPECT_TRUE(sstest::PumpUntil([&] { return ButtonUsable(win, "Install"); }, 10000));
  EXPECT_EQ(WaitForBox(child->pid(), 1000, child.get()), nullptr) << "a box after declining";
  // The button comes back before the run's last log line reaches the
  // debugger thread that collects it.
  EXPECT_TRUE(sstest::PumpUntil([&] { return child->Logged("runInstall: -454"); }, 5000)) << child->LogText();
  EXPECT_TRUE(ReadAll(EnginePath(plan.title)) == oldEngine);
  EXPECT_TRUE(FileExists(InstallDir(plan.title) + "old.txt"));
  EXPECT_FALSE(UninstallEntryExists(plan.title));

  ClickButton(win, "Cancel");
  EXPECT_TRUE(child->Wait(30000));
  EXPECT_TRUE(ReadAll(EnginePath(plan.title)) == oldEngine);
  EXPECT_TRUE(NewWorkDirs().empty());
}

// Cancel while the segments are written: the install stops before the next
// segment, removes what it wrote and returns to Ready; a second Install then
// completes.
TEST_F(InteractiveInstall, CancelDuringExtractionCleansUpAndASecondInstallSucceeds) {
  PackagePlan plan;
  plan.displayMode = ss::dmBitmap;
  plan.presentation = MakeBitmapFile(100, 80);
  plan.supportSize = 24u << 20;  // a large second segment
  plan.compression = ss::pack::Compression::kStore;
  const Package package = MakePackage(plan);
  auto child = Start(WriteInstaller(package), "");
  HWND win = WaitForInstaller(*child, plan.title);
  ASSERT_NE(win, nullptr) << child->LogText();
  ClickButton(win, "Install");
  ASSERT_TRUE(WaitForChildText(win, kWriting, 20000)) << child->LogText();
  ClickButton(win, "Cancel");

  ASSERT_TRUE(sstest::PumpUntil([&] { return ButtonUsable(win, "Install"); }, 20000)) << child->LogText();
  EXPECT_TRUE(child->Running()) << "the window closed after Cancel";
  // The button comes back before the run's last log line reaches the
  // debugger thread that collects it.
  EXPECT_TRUE(sstest::PumpUntil([&] { return child->Logged("runInstall: -454"); }, 5000)) << child->LogText();
  // Segments are written in order; the last one was never reached.
  EXPECT_FALSE(child->Logged("helper2.dll")) << child->LogText();
  EXPECT_FALSE(FileExists(EnginePath(plan.title)));
  EXPECT_FALSE(DirExists(InstallDir(plan.title)));
  EXPECT_FALSE(UninstallEntryExists(plan.title));

  ClickButton(win, "Install");
  const std::vector<Box> boxes = FinishAnsweringBoxes(*child);
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;
  EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
  ExpectInstalled(package);
}

// A failure inside the install: the step's own box, then the window stays in
// its Failed phase with the code in the status line and nothing installed.
TEST_F(InteractiveInstall, DamagedSegmentLeavesTheWindowInTheFailedPhase) {
  PackagePlan plan;
  plan.displayMode = ss::dmBitmap;
  plan.presentation = MakeBitmapFile(100, 80);
  plan.compression = ss::pack::Compression::kStore;
  const Package package = MakePackage(plan);
  const std::string exe = WriteInstaller(package, "Setup.exe", [](Bytes& b) {
    ss::TPackageHeader h = HeaderOf(b);
    h.segments[ss::kSegSupportLib2].endOffset = static_cast<int32_t>(b.size() + 1000);
    PutHeader(b, h);
  });
  auto child = Start(exe, "");
  HWND win = WaitForInstaller(*child, plan.title);
  ASSERT_NE(win, nullptr) << child->LogText();
  ClickButton(win, "Install");
  const std::string failed = "Install failed. Error: -30";
  std::vector<Box> boxes;
  const DWORD start = GetTickCount();
  while (!HasChildText(win, failed) && child->Running() && GetTickCount() - start < sstest::Slow(30000)) {
    if (HWND box = WaitForBox(child->pid(), 50, child.get())) {
      boxes.push_back(ReadBox(box));
      ClickButton(box, boxes.back().buttons.empty() ? "" : boxes.back().buttons.front());
      for (DWORD i = 0; i < sstest::Slow(100) && IsWindow(box); ++i) Pump(20);
    }
  }
  ASSERT_TRUE(HasChildText(win, failed)) << child->LogText();
  EXPECT_FALSE(boxes.empty()) << "the failing step showed no box";
  for (const Box& box : boxes) EXPECT_EQ(box.caption, "Error") << box.text;
  EXPECT_FALSE(ButtonUsable(win, "Install"));
  EXPECT_TRUE(ButtonUsable(win, "Cancel"));
  EXPECT_FALSE(FileExists(EnginePath(plan.title)));
  EXPECT_FALSE(DirExists(InstallDir(plan.title)));
  EXPECT_FALSE(UninstallEntryExists(plan.title));
  ClickButton(win, "Cancel");
  EXPECT_TRUE(child->Wait(30000));
  ExpectNothingInstalled(plan.title);
}

// Ways out that pass no button: a WM_QUIT posted to the installer's thread,
// and the end of the Windows session (the system may end the process as
// soon as the window has answered WM_ENDSESSION, so the work directory must
// be gone by then). Each ends the program with nothing left behind.
// A compressed movie plays from an uncompressed copy in the movie panel's
// own folder ("FlashPanel<n>" in TEMP), which goes with the session too.
TEST_F(InteractiveInstall, EveryWayOutRemovesTheWorkDirectory) {
  struct Case {
    const char* what;
    bool endSession;
    bool compressedMovie;
  };
  const Case cases[] = {{"WM_QUIT from outside", false, false},
                        {"end of the Windows session", true, false},
                        {"end of the Windows session with a compressed movie", true, true}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PackagePlan plan;
    plan.title = "E2E Way Out " + std::to_string(++n);
    plan.displayMode = ss::dmBitmap;
    plan.presentation = MakeBitmapFile(100, 80);
    if (c.compressedMovie) {
      swftest::Movie movie;
      movie.version = 7;
      plan.displayMode = ss::dmFlash;
      plan.presentation = CompressedMovie(movie.build());
    }
    const std::vector<std::string> moviesBefore = ListDir(TempDir(), "FlashPanel*");
    const Package package = MakePackage(plan);
    auto child = Start(WriteInstaller(package), "");
    HWND win = WaitForInstaller(*child, plan.title);
    ASSERT_NE(win, nullptr) << child->LogText();
    ASSERT_EQ(NewWorkDirs().size(), 1u) << "the running installer has no work directory";
    if (c.compressedMovie) {
      ASSERT_EQ(ListDir(TempDir(), "FlashPanel*").size(), moviesBefore.size() + 1) << child->LogText();
    }
    if (c.endSession) {
      DWORD_PTR answer = 0;
      ASSERT_TRUE(SendMessageTimeoutA(win, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, sstest::Slow(10000), &answer));
      EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << "a Ready installer keeps the session from ending";
      ASSERT_TRUE(SendMessageTimeoutA(win, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, sstest::Slow(10000), &answer));
      EXPECT_TRUE(NewWorkDirs().empty()) << "work directory left when the session ended";
      EXPECT_EQ(ListDir(TempDir(), "FlashPanel*"), moviesBefore) << "movie folder left when the session ended";
    } else {
      ASSERT_TRUE(PostThreadMessageA(GetWindowThreadProcessId(win, nullptr), WM_QUIT, 0, 0));
    }
    EXPECT_TRUE(child->Wait(30000)) << child->LogText();
    EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
    ExpectNothingInstalled(plan.title);
    // A directory left by a failed row must not spoil the next one.
    for (const std::string& dir : NewWorkDirs()) ss::RemoveDirectoryTree(TempDir() + dir + "\\");
  }
}

// An engine of the same title held open by another program: the overwrite
// question, then the "cannot be replaced" box and status; the old engine is
// kept. A quiet run ends with the same code.
TEST_F(InteractiveInstall, EngineInUseCannotBeReplaced) {
  PackagePlan plan;
  plan.displayMode = ss::dmBitmap;
  plan.presentation = MakeBitmapFile(100, 80);
  const Package package = MakePackage(plan);
  const std::string exe = WriteInstaller(package);
  const Bytes oldEngine(77, 'k');
  ASSERT_TRUE(WriteAll(EnginePath(plan.title), oldEngine));
  HANDLE lock = CreateFileA(EnginePath(plan.title).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);

  auto child = Start(exe, "");
  HWND win = WaitForInstaller(*child, plan.title);
  ASSERT_NE(win, nullptr) << child->LogText();
  ClickButton(win, "Install");
  HWND question = WaitForBox(child->pid(), 30000, child.get());
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(ReadBox(question).text, plan.title + " screen saver already exists. Overwrite?");
  ClickButton(question, "OK");
  for (int i = 0; i < 100 && IsWindow(question); ++i) Pump(20);
  HWND errorBox = WaitForBox(child->pid(), 30000, child.get());
  ASSERT_NE(errorBox, nullptr) << child->LogText();
  const Box box = ReadBox(errorBox);
  EXPECT_EQ(box.caption, "Error");
  EXPECT_TRUE(HasChildText(win, "Installation Aborted: Screen saver cannot be replaced."));
  ClickButton(errorBox, box.buttons.empty() ? "" : box.buttons.front());
  for (int i = 0; i < 100 && IsWindow(errorBox); ++i) Pump(20);
  EXPECT_TRUE(child->Running());
  ClickButton(win, "Cancel");
  EXPECT_TRUE(child->Wait(30000));

  child = RunToEnd(exe, "/q");
  EXPECT_EQ(static_cast<int32_t>(child->exitCode()), ss::kErrEngineBusy) << child->LogText();
  CloseHandle(lock);
  EXPECT_TRUE(ReadAll(EnginePath(plan.title)) == oldEngine);
  EXPECT_FALSE(UninstallEntryExists(plan.title));
}

}  // namespace
}  // namespace e2e
