#include <gtest/gtest.h>

#include <memory>

#include "flash/FlashPanel.h"
#include "flash/FlashPlayer.h"
#include "tests/support/WinTestUtil.h"
#include "tests/win/flash/FlashTestUtil.h"
#include "winsys/LMT_FileUtils.h"

using namespace ss;
using flashtest::ControlPath;
using flashtest::ControlRegistration;
using swftest::Bytes;
using swftest::Movie;

namespace {

// A string member of the stand-in control, by name (method) or identifier.
std::string ControlText(TShockwaveFlash* control, const wchar_t* name) {
  VARIANT v;
  if (FAILED(InvokeByName(control->dispatch(), name, nullptr, 0, &v))) return "<failed>";
  VARIANT s;
  VariantInit(&s);
  std::string out = SUCCEEDED(VariantChangeType(&s, &v, 0, VT_BSTR)) ? FromWide(s.bstrVal) : "<type>";
  VariantClear(&s);
  VariantClear(&v);
  return out;
}

std::string MovieOf(TShockwaveFlash* control) { return ControlText(control, L"Movie"); }

void RaiseFSCommand(TShockwaveFlash* control, const std::string& command, const std::string& args) {
  const std::string a[] = {command, args};
  ASSERT_TRUE(SUCCEEDED(InvokeByName(control->dispatch(), L"RaiseFSCommand", a, 2, nullptr)));
}

// A top-level window holding one panel, as the installer window holds its
// movie panel.
class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    top_ = CreateWindowExA(0, "STATIC", "Flash panel test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 420, 260,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(top_, nullptr) << "no display";
    panel_.reset(new TFlashPanel(top_, 10, 10, 380, 190));
    ASSERT_NE(panel_->handle(), nullptr);
    panel_->enableAllowScale = true;
  }
  void TearDown() override {
    panel_.reset();
    if (top_ != nullptr) DestroyWindow(top_);
  }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir_.path() + name;
    flashtest::WriteAll(path, bytes);
    return path;
  }

  flashtest::ShortProbes probes_;
  flashtest::ScratchDir dir_;
  HWND top_ = nullptr;
  std::unique_ptr<TFlashPanel> panel_;
};

Movie Coloured(uint8_t version, Bytes colour, const std::string& allowScale) {
  Movie m;
  m.version = version;
  m.colour = colour;
  m.after = swftest::Text("AllowScale" + std::string(1, '\0') + allowScale + std::string(1, '\0'));
  return m;
}

}  // namespace

TEST_F(PanelTest, PlaysAnUncompressedMovie) {
  ControlRegistration reg(ControlPath(7, 19));
  const std::string fws = Write("blue.swf", Coloured(7, {0x20, 0x40, 0xC0}, "false").build());
  ASSERT_EQ(panel_->playMovie(fws), kOk);
  TShockwaveFlash* control = panel_->flashControl();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(MovieOf(control), fws);
  EXPECT_EQ(ControlText(control, L"IsPlaying"), "1");
  EXPECT_EQ(ControlText(control, L"WMode"), "Opaque");
  EXPECT_EQ(ControlText(control, L"ScaleMode"), "0");
  EXPECT_EQ(ControlText(control, L"Menu"), "0");  // VARIANT_FALSE
  EXPECT_EQ(ControlText(control, L"GetVariable"), "Align=AlClient;");
  HWND child = control->controlWindow();
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(GetParent(child), panel_->handle());
  EXPECT_TRUE(IsWindowVisible(child));
  RECT r;
  GetClientRect(child, &r);
  EXPECT_EQ(r.right, 380);
  EXPECT_EQ(r.bottom, 190);
  EXPECT_EQ(panel_->movie().bgBlue, 0xC0);
  EXPECT_EQ(panel_->movie().allowScale, 0);
  EXPECT_EQ(panel_->tempDir(), "");  // only compressed movies need one

  // The same name again: nothing restarts.
  EXPECT_EQ(panel_->playMovie(fws), kOk);
  EXPECT_EQ(panel_->flashControl(), control);
  EXPECT_EQ(panel_->playMovie(""), kOk);
  EXPECT_EQ(panel_->flashControl(), control);
  EXPECT_EQ(panel_->swfFilename(), fws);

  flashtest::Pump(200);
  CreateDirectoryA(SS_SCREENSHOT_DIR, nullptr);
  sstest::SaveWindowPicture(top_, std::string(SS_SCREENSHOT_DIR) + "/flash_panel_fws.bmp");
}

TEST_F(PanelTest, CompressedMovieIsInflatedForInspectionOnly) {
  ControlRegistration reg(ControlPath(8, 22));
  Movie m = Coloured(8, {0xE0, 0x60, 0x10}, "true");
  m.tagsBefore = swftest::Tag(2, Bytes(30000, 0x5A), true);
  const Bytes fws = m.build();
  const std::string cws = Write("orange.swf", flashtest::Compress(fws));
  std::string tempDir;
  {
    TFlashPanel panel(top_, 0, 0, 300, 200);
    ASSERT_EQ(panel.playMovie(cws), kOk);
    tempDir = panel.tempDir();
    ASSERT_FALSE(tempDir.empty());
    EXPECT_NE(tempDir.find("FlashPanel"), std::string::npos);
    EXPECT_EQ(tempDir.back(), '\\');
    const Bytes segment = flashtest::ReadAll(tempDir + "compressedSWFSegment.swf");
    const Bytes copy = flashtest::ReadAll(tempDir + "unCompressedSWF.swf");
    const Bytes compressed = flashtest::Compress(fws);
    EXPECT_EQ(segment, Bytes(compressed.begin() + 8, compressed.end()));
    EXPECT_EQ(copy, fws);
    // The control gets the caller's compressed file.
    EXPECT_EQ(MovieOf(panel.flashControl()), cws);
    EXPECT_EQ(panel.movie().swfVersion, 8);
    EXPECT_EQ(panel.movie().bgRed, 0xE0);
    EXPECT_EQ(panel.movie().allowScale, 1);

    flashtest::Pump(200);
    CreateDirectoryA(SS_SCREENSHOT_DIR, nullptr);
    sstest::SaveWindowPicture(top_, std::string(SS_SCREENSHOT_DIR) + "/flash_panel_cws.bmp");
  }
  EXPECT_FALSE(DirectoryExists(tempDir));
}

TEST_F(PanelTest, RefusedMoviesKeepThePreviousOnePlaying) {
  ControlRegistration reg(ControlPath(7, 19));
  const std::string first = Write("first.swf", Coloured(7, {1, 2, 3}, "true").build());
  ASSERT_EQ(panel_->playMovie(first), kOk);
  TShockwaveFlash* control = panel_->flashControl();

  Bytes corrupt = flashtest::Compress(Coloured(7, {1, 2, 3}, "true").build());
  for (size_t i = 12; i < corrupt.size(); ++i) corrupt[i] ^= 0x55;
  Bytes truncated = Coloured(7, {1, 2, 3}, "true").build();
  truncated.resize(20);
  Bytes lying = flashtest::Compress(Movie{}.build());
  lying[4] = 16;  // declares fewer bytes than the stream inflates to
  lying[5] = lying[6] = lying[7] = 0;
  struct Row {
    std::string name;
    Bytes bytes;
    Result expected;
  } rows[] = {
      {"eight.swf", Coloured(8, {9, 9, 9}, "true").build(), kErrPlayerTooOld},
      {"nine.swf", Coloured(9, {9, 9, 9}, "true").build(), kErrSwfTooNew},
      {"picture.swf", swftest::Text("GIF89a........"), kErrSwfSignature},
      {"corrupt.swf", corrupt, kErrMovieBroken},
      {"lying.swf", lying, kErrMovieBroken},
      {"truncated.swf", truncated, kErrSwfTruncated},
      {"short.swf", swftest::Text("CWS\x07"), kErrSwfTruncated},
  };
  for (const Row& row : rows) {
    const std::string path = Write(row.name, row.bytes);
    EXPECT_EQ(panel_->playMovie(path), row.expected) << row.name;
    EXPECT_EQ(panel_->flashControl(), control) << row.name;
    EXPECT_EQ(MovieOf(control), first) << row.name;
    EXPECT_EQ(ControlText(control, L"IsPlaying"), "1") << row.name;
    // The failed name is kept: asking again changes nothing.
    EXPECT_EQ(panel_->playMovie(path), kOk) << row.name;
  }

  // A movie another program holds without sharing: the system's code.
  const std::string held = Write("held.swf", Coloured(7, {7, 7, 7}, "true").build());
  HANDLE h = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(panel_->playMovie(held), static_cast<Result>(ERROR_SHARING_VIOLATION));
  CloseHandle(h);
  EXPECT_EQ(panel_->flashControl(), control);
  EXPECT_EQ(MovieOf(control), first);

  // A different movie that passes replaces the control.
  const std::string second = Write("second.swf", Coloured(6, {4, 5, 6}, "true").build());
  ASSERT_EQ(panel_->playMovie(second), kOk);
  ASSERT_NE(panel_->flashControl(), nullptr);
  EXPECT_EQ(MovieOf(panel_->flashControl()), second);
}

TEST_F(PanelTest, AControlThatCannotStopIsKeptForTheNextMovie) {
  ControlRegistration reg(ControlPath(7, 19));
  ASSERT_EQ(panel_->playMovie(Write("a.swf", Coloured(7, {1, 1, 1}, "f").build())), kOk);
  TShockwaveFlash* control = panel_->flashControl();
  ASSERT_TRUE(SUCCEEDED(InvokeByName(control->dispatch(), L"FailStopPlay", nullptr, 0, nullptr)));
  const std::string b = Write("b.swf", Coloured(7, {2, 2, 2}, "f").build());
  EXPECT_EQ(panel_->playMovie(b), kOk);
  EXPECT_EQ(panel_->flashControl(), control);
  EXPECT_EQ(MovieOf(control), b);
}

TEST_F(PanelTest, MovieCommandsSetAllowScaleWhenEnabled) {
  ControlRegistration reg(ControlPath(7, 19));
  ASSERT_EQ(panel_->playMovie(Write("m.swf", Coloured(7, {0, 0, 0}, "false").build())), kOk);
  TShockwaveFlash* control = panel_->flashControl();
  ASSERT_EQ(panel_->allowScale(), 0);
  RaiseFSCommand(control, "allowscale", "true");
  EXPECT_EQ(panel_->allowScale(), 1);
  RaiseFSCommand(control, "AllowScale", "yes");
  EXPECT_EQ(panel_->allowScale(), 0);
  RaiseFSCommand(control, "ALLOWSCALE", "TRUEST");
  EXPECT_EQ(panel_->allowScale(), 1);
  RaiseFSCommand(control, "allowscale", "tru");
  EXPECT_EQ(panel_->allowScale(), 0);
  RaiseFSCommand(control, "fullscreen", "true");
  EXPECT_EQ(panel_->allowScale(), 0);
  EXPECT_EQ(panel_->movie().fullScreen, -1);

  panel_->enableAllowScale = false;
  RaiseFSCommand(control, "allowscale", "true");
  EXPECT_EQ(panel_->allowScale(), 0);
}

TEST_F(PanelTest, StopMovie) {
  // A panel that never played.
  panel_->stopMovie();
  EXPECT_EQ(panel_->flashControl(), nullptr);
  EXPECT_EQ(panel_->color(), RGB(0, 0, 0));
  EXPECT_EQ(panel_->swfFilename(), "");

  ControlRegistration reg(ControlPath(7, 19));
  const std::string fws = Write("m.swf", Coloured(7, {0, 0, 0}, "false").build());
  ASSERT_EQ(panel_->playMovie(fws), kOk);
  HWND child = panel_->flashControl()->controlWindow();
  panel_->focusMovie();
  EXPECT_EQ(GetFocus(), child);
  panel_->stopMovie();
  EXPECT_EQ(panel_->flashControl(), nullptr);
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(panel_->swfFilename(), "");
  panel_->focusMovie();  // nothing to focus: no effect, no failure
  // The same movie plays again after a stop.
  EXPECT_EQ(panel_->playMovie(fws), kOk);
  EXPECT_NE(panel_->flashControl(), nullptr);
}

TEST_F(PanelTest, OutlivesItsParentWindow) {
  ControlRegistration reg(ControlPath(7, 19));
  Movie m = Coloured(7, {1, 2, 3}, "true");
  const std::string cws = Write("c.swf", flashtest::Compress(m.build()));
  ASSERT_EQ(panel_->playMovie(cws), kOk);
  const std::string tempDir = panel_->tempDir();
  ASSERT_TRUE(DirectoryExists(tempDir));
  // The owner's window goes first, taking the panel's and control's windows.
  DestroyWindow(top_);
  top_ = nullptr;
  EXPECT_EQ(panel_->handle(), nullptr);
  panel_->stopMovie();
  panel_.reset();
  EXPECT_FALSE(DirectoryExists(tempDir));
}

TEST_F(PanelTest, WithoutTheControl) {
  // No cached version: the probe fails (-402) after its attempts.
  {
    ControlRegistration none("");
    EXPECT_EQ(panel_->playMovie(Write("a.swf", Coloured(7, {0, 0, 0}, "f").build())), kErrFlashMissing);
    EXPECT_EQ(panel_->flashControl(), nullptr);
  }
  // A version probed earlier, then the control is gone: creation fails.
  {
    ControlRegistration reg(ControlPath(7, 19));
    bool found = false;
    int32_t major = 0;
    ASSERT_EQ(probeFlashControlVersion(found, major, 1), kOk);
  }
  ControlRegistration none("");
  EXPECT_EQ(panel_->playMovie(Write("b.swf", Coloured(7, {0, 0, 0}, "f").build())), kErrMovieNoControl);
  EXPECT_EQ(panel_->flashControl(), nullptr);
}
