#include "flash/ShockwaveFlash.h"

#include <ocidl.h>
#include <olectl.h>

#include <vector>

#include "flash/FlashIds.h"

namespace ss {

std::vector<wchar_t> ToWide(const std::string& text) {
  if (text.empty()) return std::vector<wchar_t>(1, L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::vector<wchar_t> out(static_cast<size_t>(n) + 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string FromWide(const wchar_t* text) {
  if (text == nullptr || *text == 0) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

namespace {

// A BSTR owned for the duration of a call.
class Bstr {
 public:
  explicit Bstr(const std::string& text) : s_(SysAllocString(ToWide(text).data())) {}
  ~Bstr() { SysFreeString(s_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return s_; }

 private:
  BSTR s_;
};

// The text of an event argument, passed by value or by reference.
std::string ArgText(const VARIANT& v) {
  if (v.vt == VT_BSTR) return FromWide(v.bstrVal);
  if (v.vt == (VT_BSTR | VT_BYREF) && v.pbstrVal != nullptr) return FromWide(*v.pbstrVal);
  return std::string();
}

// Receives the control's events; only FSCommand is forwarded.
class FlashEventSink final : public IDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, kDiidShockwaveFlashEvents)) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    // Arguments arrive in reverse order: command is the last one.
    if (id == kDispidOnFSCommand && params != nullptr && params->cArgs == 2 && handler_) {
      const std::string command = ArgText(params->rgvarg[1]);
      const std::string args = ArgText(params->rgvarg[0]);
      TShockwaveFlash::FSCommandHandler handler = handler_;  // the handler may replace itself
      handler(command, args);
    }
    return S_OK;
  }

  TShockwaveFlash::FSCommandHandler handler_;

 private:
  ULONG refs_ = 1;
};

}  // namespace

// The container side of one hosted control: client site, in-place site and
// in-place frame on the parent window. The control asks for the window and
// the rectangle it is to occupy and reports its activation state here.
class FlashControlSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  FlashControlSite(HWND parent, const RECT& bounds) : parent_(parent), bounds_(bounds) {}

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
      *ppv = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceSite) || IsEqualIID(riid, IID_IOleWindow))
      *ppv = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceFrame) || IsEqualIID(riid, IID_IOleInPlaceUIWindow))
      *ppv = static_cast<IOleInPlaceFrame*>(this);
    if (*ppv == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** mk) override {
    if (mk != nullptr) *mk = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** c) override {
    if (c != nullptr) *c = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the in-place site and the frame)
  STDMETHODIMP GetWindow(HWND* w) override {
    if (w == nullptr) return E_POINTER;
    *w = parent_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override {
    inPlace_ = true;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override {
    if (frame == nullptr || doc == nullptr || pos == nullptr || clip == nullptr || info == nullptr) return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *doc = nullptr;
    *pos = bounds_;
    *clip = bounds_;
    info->fMDIApp = FALSE;
    info->hwndFrame = parent_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override {
    inPlace_ = false;
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT r) override {
    if (r != nullptr) bounds_ = *r;
    return S_OK;
  }

  // IOleInPlaceUIWindow / IOleInPlaceFrame: no menus, toolbars or borders.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  HWND parent() const { return parent_; }
  const RECT& bounds() const { return bounds_; }
  bool inPlace() const { return inPlace_; }
  FlashEventSink* sink() const { return sink_.get(); }
  void setSink(FlashEventSink* s) { sink_.reset(s); }

 private:
  ~FlashControlSite() = default;  // only through Release

  ULONG refs_ = 1;
  HWND parent_;
  RECT bounds_;
  bool inPlace_ = false;
  ComPtr<FlashEventSink> sink_;
};

HRESULT TShockwaveFlash::Create(HWND parent, const RECT& bounds, std::unique_ptr<TShockwaveFlash>& out) {
  out.reset();
  std::unique_ptr<TShockwaveFlash> flash(new TShockwaveFlash());
  HRESULT hr =
      CoCreateInstance(kClsidShockwaveFlash, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, flash->object_.putVoid());
  if (FAILED(hr)) return hr;
  hr = flash->object_->QueryInterface(IID_IDispatch, flash->dispatch_.putVoid());
  if (FAILED(hr)) return hr;

  // A control that asks for its site first gets it before its initial
  // state; others get their state first.
  DWORD misc = 0;
  if (FAILED(flash->object_->GetMiscStatus(DVASPECT_CONTENT, &misc))) misc = 0;
  const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
  if (parent != nullptr) {
    flash->site_.reset(new FlashControlSite(parent, bounds));
    flash->site_->setSink(new FlashEventSink());
  }
  if (siteFirst && flash->site_) {
    hr = flash->object_->SetClientSite(flash->site_.get());
    if (FAILED(hr)) return hr;
  }
  if (ComPtr<IPersistStreamInit> persist;
      SUCCEEDED(flash->object_->QueryInterface(IID_IPersistStreamInit, persist.putVoid()))) {
    persist->InitNew();
  }

  if (parent != nullptr) {
    if (!siteFirst) {
      hr = flash->object_->SetClientSite(flash->site_.get());
      if (FAILED(hr)) return hr;
    }
    flash->object_->SetHostNames(L"TFlashPanel", nullptr);

    // Events: FSCommand through the control's connection point. A control
    // without one simply raises no events.
    if (ComPtr<IConnectionPointContainer> container;
        SUCCEEDED(flash->object_->QueryInterface(IID_IConnectionPointContainer, container.putVoid()))) {
      if (SUCCEEDED(container->FindConnectionPoint(kDiidShockwaveFlashEvents, flash->connection_.put())) &&
          FAILED(flash->connection_->Advise(flash->site_->sink(), &flash->adviseCookie_))) {
        flash->connection_.reset();
      }
    }

    RECT r = bounds;
    hr = flash->object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, flash->site_.get(), 0, parent, &r);
    if (FAILED(hr)) return hr;
  }
  out = std::move(flash);
  return S_OK;
}

// The order matters to the control: the event connection goes first; then the
// control is deactivated in place, closed and told to drop our site; only then
// are our references released, the site's last, since the control may call
// its site until it is closed and let go.
TShockwaveFlash::~TShockwaveFlash() {
  if (connection_) {
    connection_->Unadvise(adviseCookie_);
    connection_.reset();
  }
  if (object_) {
    if (ComPtr<IOleInPlaceObject> inPlace;
        site_ && site_->inPlace() && SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, inPlace.putVoid()))) {
      inPlace->InPlaceDeactivate();
    }
    object_->Close(OLECLOSE_NOSAVE);
    if (site_) object_->SetClientSite(nullptr);
  }
  dispatch_.reset();
  object_.reset();
  site_.reset();
}

HRESULT TShockwaveFlash::putProperty(DISPID id, VARIANT& value) {
  if (!dispatch_) return E_POINTER;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&value, &named, 1, 1};
  return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                           nullptr);
}

HRESULT InvokeByName(IDispatch* dispatch, const wchar_t* name, const std::string* args, int count,
                     VARIANT* result) {
  if (dispatch == nullptr) return E_POINTER;
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> values(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    // Reverse order, as IDispatch expects.
    VARIANT& v = values[static_cast<size_t>(count - 1 - i)];
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(ToWide(args[i]).data());
  }
  DISPPARAMS params = {values.empty() ? nullptr : values.data(), nullptr, static_cast<UINT>(count), 0};
  if (result != nullptr) VariantInit(result);
  hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
  for (VARIANT& v : values) VariantClear(&v);
  return hr;
}

HRESULT TShockwaveFlash::FlashVersion(long& version) {
  VARIANT result;
  HRESULT hr = InvokeByName(dispatch_.get(), L"FlashVersion", nullptr, 0, &result);
  if (FAILED(hr)) return hr;
  VARIANT asLong;
  VariantInit(&asLong);
  hr = VariantChangeType(&asLong, &result, 0, VT_I4);
  VariantClear(&result);
  if (FAILED(hr)) return hr;
  version = asLong.lVal;
  return S_OK;
}

HRESULT TShockwaveFlash::setScaleMode(int mode) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = mode;
  return putProperty(kDispidScaleMode, v);
}

HRESULT TShockwaveFlash::SetVariable(const std::string& name, const std::string& value) {
  const std::string args[] = {name, value};
  return InvokeByName(dispatch_.get(), L"SetVariable", args, 2, nullptr);
}

HRESULT TShockwaveFlash::setWMode(const std::string& mode) {
  Bstr text(mode);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text.get();
  return putProperty(kDispidWMode, v);
}

HRESULT TShockwaveFlash::setMenu(bool on) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
  return putProperty(kDispidMenu, v);
}

HRESULT TShockwaveFlash::setMovie(const std::string& path) {
  Bstr text(path);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text.get();
  return putProperty(kDispidMovie, v);
}

HRESULT TShockwaveFlash::Play() { return InvokeByName(dispatch_.get(), L"Play", nullptr, 0, nullptr); }

HRESULT TShockwaveFlash::StopPlay() { return InvokeByName(dispatch_.get(), L"StopPlay", nullptr, 0, nullptr); }

HRESULT TShockwaveFlash::DoVerb(LONG verb) {
  if (!object_ || !site_) return E_UNEXPECTED;
  RECT r = site_->bounds();
  return object_->DoVerb(verb, nullptr, site_.get(), 0, site_->parent(), &r);
}

void TShockwaveFlash::setOnFSCommand(FSCommandHandler handler) {
  if (site_ && site_->sink() != nullptr) site_->sink()->handler_ = std::move(handler);
}

HWND TShockwaveFlash::controlWindow() const {
  HWND w = nullptr;
  ComPtr<IOleInPlaceObject> inPlace;
  if (object_ && SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, inPlace.putVoid())) &&
      FAILED(inPlace->GetWindow(&w))) {
    w = nullptr;
  }
  return w;
}

}  // namespace ss
