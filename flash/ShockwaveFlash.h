// TShockwaveFlash: the Shockwave Flash ActiveX control hosted in a plain
// Win32 child window. The least OLE container that an in-place control
// needs lives behind it (client site, in-place site and frame, and an event
// sink on the control's connection point that forwards FSCommand).
//
// Properties are set through IDispatch by their fixed identifiers; methods
// are called through IDispatch by name, which every dual interface answers,
// so the wrapper does not depend on a vtable layout. Every operation returns
// an HRESULT; nothing throws.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/WinHandles.h"

namespace ss {

class FlashControlSite;

class TShockwaveFlash {
 public:
  using FSCommandHandler = std::function<void(const std::string& command, const std::string& args)>;

  // Creates the control. With a parent window the control is given a client
  // site and activated in place inside `bounds` of the parent; without one
  // (the version probe) only the object is created. Fails when the class is
  // not registered or cannot be created.
  static HRESULT Create(HWND parent, const RECT& bounds, std::unique_ptr<TShockwaveFlash>& out);

  // Deactivates and closes the control and lets it go.
  ~TShockwaveFlash();
  TShockwaveFlash(const TShockwaveFlash&) = delete;
  TShockwaveFlash& operator=(const TShockwaveFlash&) = delete;

  // The installed player's version; the major version is in the high 16 bits.
  HRESULT FlashVersion(long& version);
  HRESULT setScaleMode(int mode);
  HRESULT SetVariable(const std::string& name, const std::string& value);
  HRESULT setWMode(const std::string& mode);
  HRESULT setMenu(bool on);
  HRESULT setMovie(const std::string& path);
  HRESULT Play();
  HRESULT StopPlay();
  // Runs an OLE verb (-3 hide, -1 show) on the control.
  HRESULT DoVerb(LONG verb);

  // The handler the control's FSCommand events go to (none: ignored).
  void setOnFSCommand(FSCommandHandler handler);

  // The control's window while it is active in place (nullptr otherwise).
  HWND controlWindow() const;
  // The control's dispatch interface (not add-ref'ed), for code that needs a
  // member beyond the wrapper's.
  IDispatch* dispatch() const { return dispatch_.get(); }

 private:
  TShockwaveFlash() = default;
  HRESULT putProperty(DISPID id, VARIANT& value);

  // Released by the destructor in its own order, not the members'.
  ComPtr<IOleObject> object_;
  ComPtr<IDispatch> dispatch_;
  ComPtr<FlashControlSite> site_;  // null for a probe object
  DWORD adviseCookie_ = 0;
  ComPtr<IConnectionPoint> connection_;
};

// Calls the method `name` of a dispatch interface with string arguments; the
// result, if any, goes to `result` (may be null).
HRESULT InvokeByName(IDispatch* dispatch, const wchar_t* name, const std::string* args, int count,
                     VARIANT* result);

// Converts between the control's wide strings and the program's ANSI text.
// ToWide's result ends with a null. (A vector rather than std::wstring: the
// wide string class would bring its whole compiled instance into the
// statically linked installer.)
std::vector<wchar_t> ToWide(const std::string& text);
std::string FromWide(const wchar_t* text);

// Initialises OLE on this thread for the lifetime of the object (nested
// initialisations are counted by the system).
class OleScope {
 public:
  OleScope() : hr_(OleInitialize(nullptr)) {}
  ~OleScope() {
    if (SUCCEEDED(hr_)) OleUninitialize();
  }
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;
  bool ok() const { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};

}  // namespace ss
