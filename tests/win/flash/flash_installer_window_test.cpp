// The movie panel inside the real installer window: the panel is created in
// the window's presentation area, plays a compressed movie through the
// stand-in control, and is stopped when the window closes. Saves a picture
// of the window under build/screenshots.
#include <gtest/gtest.h>

#include <memory>

#include "app/InstallerForm.h"
#include "app/PreparingWnd.h"
#include "app/WindowForm.h"
#include "flash/FlashPanel.h"
#include "tests/support/WinTestUtil.h"
#include "tests/win/flash/FlashTestUtil.h"
#include "winsys/LMT_FileUtils.h"

namespace {

using namespace ss;

// The installer window knows its movie panel only as something to stop and
// whose temporary files to remove.
class PanelSlot : public MoviePanelSlot {
 public:
  explicit PanelSlot(TFlashPanel& panel) : panel_(panel) {}
  void stopMovie() override {
    panel_.stopMovie();
    ++stops;
  }
  void removeTempFiles() override { panel_.removeTempDirectory(); }
  int stops = 0;

 private:
  TFlashPanel& panel_;
};

TEST(FlashInInstallerWindow, PlaysInThePresentationAreaAndStopsOnClose) {
  ASSERT_TRUE(App().Initialize());
  App().ClearTerminated();
  auto preparing = std::make_unique<TpreparingInstallWnd>();
  ASSERT_TRUE(preparing->create()) << "no window could be created: is DISPLAY set (Xvfb)?";

  flashtest::ShortProbes probes;
  flashtest::ControlRegistration reg(flashtest::ControlPath(7, 19));
  flashtest::ScratchDir dir;
  swftest::Movie m;
  m.version = 7;
  m.colour = {0x10, 0x70, 0x40};
  const std::string movie = dir.path() + "presentation.swf";
  flashtest::WriteAll(movie, flashtest::Compress(m.build()));

  std::unique_ptr<TFlashPanel> panel;
  std::unique_ptr<PanelSlot> slot;
  Result played = -1;
  auto form = std::make_unique<TInstallerForm>([&](TInstallerForm& f) {
    f.displayMode = dmFlash;
    const Control& area = f.contentPanel.control;
    panel = std::make_unique<TFlashPanel>(f.contentPanel.handle(), 1, 1, area.width() - 2, area.height() - 2);
    panel->enableAllowScale = true;
    slot = std::make_unique<PanelSlot>(*panel);
    f.moviePanel1 = slot.get();
    played = panel->playMovie(movie);
    ShowReadyPhase(f, "Install Flash Test Saver", nullptr);
  });
  ASSERT_TRUE(form->create());
  App().ProcessMessages();
  ASSERT_EQ(played, kOk);
  ASSERT_NE(panel->flashControl(), nullptr);
  HWND control = panel->flashControl()->controlWindow();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(GetParent(control), panel->handle());
  EXPECT_EQ(GetParent(panel->handle()), form->contentPanel.handle());
  EXPECT_TRUE(IsWindowVisible(control));

  flashtest::Pump(300);
  CreateDirectoryA(SS_SCREENSHOT_DIR, nullptr);
  EXPECT_TRUE(sstest::SaveWindowPicture(form->handle(), std::string(SS_SCREENSHOT_DIR) + "/installer_flash_movie.bmp"));

  // The compressed movie was inflated into the panel's folder, which goes
  // with the window, before the panel itself.
  const std::string tempDir = panel->tempDir();
  ASSERT_TRUE(DirectoryExists(tempDir)) << tempDir;
  form->close();
  App().ProcessMessages();
  EXPECT_EQ(slot->stops, 1);
  EXPECT_EQ(panel->flashControl(), nullptr);
  EXPECT_EQ(panel->swfFilename(), "");
  EXPECT_FALSE(DirectoryExists(tempDir));
  panel.reset();
  form.reset();
  preparing.reset();
  App().ProcessMessages();
  App().ClearTerminated();
}

}  // namespace
