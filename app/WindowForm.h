// The installer's application object and the building blocks of its forms:
// a form base class, panels, an image and a timer. Windows only.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/Window.h"

namespace ss {

// The application: its title, its message loops, the application-wide
// message hook and the termination request with the exit code. There is one
// per process (App()), used from the user-interface thread only.
class Application {
 public:
  // Called for every message any message loop of this thread removes from
  // the queue, before it is dispatched. Setting `handled` drops the message:
  // it never reaches a window procedure.
  using MessageHook = std::function<void(MSG& message, bool& handled)>;

  // Registers the window classes, loads the common controls and installs the
  // message hook. Safe to call more than once.
  bool Initialize();

  void SetTitle(const std::string& title);
  const std::string& Title() const { return title_; }
  // The window that carries the title: of no size, it shows as the taskbar
  // button, and it owns every form.
  HWND TitleWindow() const { return titleWindow_; }

  // The first form created becomes the main window.
  void FormCreated(HWND form);
  HWND MainWindow() const { return mainWindow_; }
  // The form that was active last; BringToFront brings it back.
  void FormActivated(HWND form) { activeForm_ = form; }

  void SetMessageHook(MessageHook hook) { hook_ = std::move(hook); }

  // Processes every message already queued and returns without waiting.
  void ProcessMessages();
  // Processes one message, waiting for one when none is queued.
  void HandleMessage();
  // The main message loop: runs until termination is requested.
  void Run();
  // Asks the application to end: Run returns after the current message.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // A host that runs several forms in one process (the tests) starts again.
  void ClearTerminated() { terminated_ = false; }

  void SetExitCode(int code) { exitCode_ = code; }
  int ExitCode() const { return exitCode_; }

  // Brings the last active form (or the main window) to the foreground.
  void BringToFront();

  // The hourglass: while at least one wait is open, every form shows it
  // over its client area (answering WM_SETCURSOR), so that it stays when
  // the mouse moves. The last EndWait puts back the cursor of the first
  // BeginWait.
  void BeginWait();
  void EndWait();
  bool Waiting() const { return waits_ > 0; }

 private:
  bool processOne();
  static LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK TitleWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  bool initialized_ = false;
  bool terminated_ = false;
  int exitCode_ = 0;
  std::string title_;
  HWND titleWindow_ = nullptr;
  HWND mainWindow_ = nullptr;
  HWND activeForm_ = nullptr;
  int waits_ = 0;
  HCURSOR cursorBeforeWait_ = nullptr;
  MessageHook hook_;
  HookHandle getMessageHook_;
};

Application& App();

// Shows the hourglass (Application::BeginWait) until the scope ends.
class WaitCursor {
 public:
  WaitCursor() { App().BeginWait(); }
  ~WaitCursor() { App().EndWait(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// The font of the installer's windows: "MS Sans Serif", 8 point (height -11),
// ANSI character set, independent of the screen resolution.
HFONT FormFont();

// A timer of a form: a window timer that runs while it is enabled.
class FormTimer {
 public:
  FormTimer(UINT id, UINT interval) : id_(id), interval_(interval) {}
  void setOwner(HWND owner) { owner_ = owner; }
  UINT id() const { return id_; }
  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled);

 private:
  UINT id_;
  UINT interval_;
  HWND owner_ = nullptr;
  bool enabled_ = false;
};

// A panel: a plain container in button-face colour, optionally with a
// lowered one-pixel outer bevel. It passes the notifications of its
// controls (commands, colours) on to its parent and keeps its anchored
// controls in place when it is resized.
class Panel : public Window {
 public:
  bool create(HWND parent, int left, int top, int width, int height, unsigned anchors, int parentWidth,
              int parentHeight, bool loweredBevel);
  void addAnchored(Control* control) {
    if (std::find(anchored_.begin(), anchored_.end(), control) == anchored_.end()) anchored_.push_back(control);
  }
  Control control;

 protected:
  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  bool loweredBevel_ = false;
  std::vector<Control*> anchored_;
};

// An image: shows one bitmap stretched to its whole area. It owns the bitmap.
class ImagePanel : public Window {
 public:
  bool create(HWND parent, int left, int top, int width, int height, unsigned anchors, int parentWidth,
              int parentHeight);
  void setPicture(HBITMAP bitmap);
  HBITMAP picture() const { return picture_.get(); }
  Control control;

 protected:
  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  BitmapHandle picture_;
};

// Base of the installer's forms. A form is created hidden, runs FormCreate,
// and is shown afterwards when it was designed visible, like a form loaded
// from a resource. Closing goes through FormCloseQuery and FormClose; a
// released form destroys its window from the message queue, never from
// inside the handler that asked for it.
class Form : public Window {
 public:
  ~Form() override;

  // Border styles: a single (fixed) border with the system menu only, or a
  // sizeable one with the system menu only. The outer size stays.
  void setBorderSizeable(bool sizeable);
  bool borderSizeable() const;
  // The smallest outer size the form accepts, from the user or from code.
  void setMinimumSize(int width, int height);

  void setCaption(const std::string& caption);
  std::string caption() const;

  int left() const;
  int top() const;
  int width() const;
  int height() const;
  int clientWidth() const;
  int clientHeight() const;
  void setBounds(int left, int top, int width, int height);
  void setPosition(int left, int top);
  void setWidth(int width) { setBounds(left(), top(), width, height()); }
  void setHeight(int height) { setBounds(left(), top(), width(), height); }

  void show();
  void hide();
  bool visible() const;
  // Restores a minimised or maximised form to the normal state.
  void setNormalState();

  // Asks the form to close: FormCloseQuery decides, FormClose acts.
  void close();
  bool closed() const { return closed_; }

 protected:
  // Creates the window hidden, calls FormCreate, then shows it when
  // `visible`. Returns false when the window could not be created.
  bool createForm(const char* className, DWORD exStyle, const char* caption, int left, int top, int width,
                  int height, bool visible);
  // Builds the child controls; called after the window exists and before
  // FormCreate.
  virtual void createComponents() {}

  virtual void FormCreate() {}
  virtual void FormShow() {}
  virtual void FormResize() {}
  virtual bool FormCloseQuery() { return true; }
  virtual void FormClose() {}
  // The Windows session is about to end (WM_QUERYENDSESSION): false keeps
  // it going. Then it ends (WM_ENDSESSION): the process may be ended as soon
  // as FormEndSession returns, without reaching the end of the message loop.
  virtual bool FormQueryEndSession() { return true; }
  virtual void FormEndSession() {}
  virtual void onCommand(UINT /*id*/, UINT /*code*/, HWND /*control*/) {}
  virtual void onTimer(UINT /*id*/) {}
  // Background brush for a static or read-only child; null gives button face.
  virtual HBRUSH controlBrush(HWND /*control*/, HDC /*dc*/) { return nullptr; }

  // Destroys the window once the current message has been handled.
  void release();

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  int minWidth_ = 0;
  int minHeight_ = 0;
  bool closed_ = false;
};

// Creates a standard child control with the form font.
HWND CreateChild(const char* className, const char* text, DWORD style, DWORD exStyle, HWND parent, UINT id,
                 int left, int top, int width, int height);

}  // namespace ss
