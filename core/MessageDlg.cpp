#include "core/MessageDlg.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "core/DebugLog.h"
#include "core/Messages.h"

namespace ss {
namespace {

constexpr int kTextId = 100;
constexpr int kIconId = 101;

// Sizes in pixels of the laid-out box.
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kGap = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 6;
constexpr int kMaxTextWidth = 420;

const char* ButtonCaption(int id) {
  switch (id) {
    case kBtnOk: return "OK";
    case kBtnCancel: return "Cancel";
    case kBtnAbort: return "&Abort";
    case kBtnYes: return "&Yes";
    case kBtnNo: return "&No";
    default: return "?";
  }
}

const char* Caption(DlgType type) {
  switch (type) {
    case DlgType::Error: return "Error";
    case DlgType::Information: return "Information";
    case DlgType::Confirmation: return "Confirm";
  }
  return "";
}

LPCSTR IconName(DlgType type) {
  switch (type) {
    case DlgType::Error: return IDI_HAND;
    case DlgType::Information: return IDI_ASTERISK;
    case DlgType::Confirmation: return IDI_QUESTION;
  }
  return IDI_HAND;
}

UINT BeepKind(DlgType type) {
  switch (type) {
    case DlgType::Error: return MB_ICONHAND;
    case DlgType::Information: return MB_ICONASTERISK;
    case DlgType::Confirmation: return MB_ICONQUESTION;
  }
  return MB_OK;
}

// Builds a DLGTEMPLATE with its items in memory. Positions are filled in at
// WM_INITDIALOG, when the font is known and the text can be measured.
class TemplateWriter {
 public:
  void Align() {
    while ((words_.size() * sizeof(WORD)) % sizeof(DWORD) != 0) words_.push_back(0);
  }
  void Dword(DWORD v) {
    words_.push_back(LOWORD(v));
    words_.push_back(HIWORD(v));
  }
  void Word(WORD v) { words_.push_back(v); }
  void Text(const char* ansi) {
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    std::vector<wchar_t> wide(static_cast<size_t>(std::max(n, 1)), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide.data(), n);
    for (wchar_t c : wide) words_.push_back(static_cast<WORD>(c));
  }
  void Item(DWORD style, WORD id, WORD classAtom, const char* title) {
    Align();
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);  // extended style
    Word(0); Word(0); Word(1); Word(1);  // x, y, cx, cy: set at initialisation
    Word(id);
    Word(0xFFFF);
    Word(classAtom);
    Text(title);
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* Get() {
    Align();
    return reinterpret_cast<const DLGTEMPLATE*>(words_.data());
  }

 private:
  std::vector<WORD> words_;
};

struct DialogState {
  std::string text;
  DlgType type;
  std::vector<int> buttons;
};

void LayOut(HWND dlg, const DialogState& state) {
  HWND textWnd = GetDlgItem(dlg, kTextId);
  HWND iconWnd = GetDlgItem(dlg, kIconId);
  HICON icon = LoadIconA(nullptr, IconName(state.type));
  SendMessageA(iconWnd, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);

  // Measure the text with the dialog's own font.
  RECT textRect = {0, 0, kMaxTextWidth, 0};
  HDC dc = GetDC(dlg);
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
  HGDIOBJ oldFont = SelectObject(dc, font);
  DrawTextA(dc, state.text.c_str(), static_cast<int>(state.text.size()), &textRect,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  SelectObject(dc, oldFont);
  ReleaseDC(dlg, dc);
  const int textWidth = textRect.right - textRect.left;
  const int textHeight = std::max<int>(textRect.bottom - textRect.top, 1);

  const int textLeft = kMargin + kIconSize + kGap;
  const int contentHeight = std::max(kIconSize, textHeight);
  const int count = static_cast<int>(state.buttons.size());
  const int rowWidth = count * kButtonWidth + (count - 1) * kButtonGap;
  const int clientWidth = std::max(textLeft + textWidth + kMargin, rowWidth + 2 * kMargin);
  const int buttonTop = kMargin + contentHeight + kGap + 4;
  const int clientHeight = buttonTop + kButtonHeight + kMargin;

  MoveWindow(iconWnd, kMargin, kMargin, kIconSize, kIconSize, FALSE);
  const int textTop = kMargin + (contentHeight - textHeight) / 2;
  MoveWindow(textWnd, textLeft, textTop, textWidth, textHeight, FALSE);
  int x = (clientWidth - rowWidth) / 2;
  for (int id : state.buttons) {
    MoveWindow(GetDlgItem(dlg, id), x, buttonTop, kButtonWidth, kButtonHeight, FALSE);
    x += kButtonWidth + kButtonGap;
  }

  // Size the frame around the client area and centre it on the screen's
  // work area (the owner may be off-screen, as the preparing window is).
  RECT frame = {0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(dlg, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(dlg, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
    work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  SetWindowPos(dlg, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// The button that Escape and the close box stand for.
int CancelButton(const std::vector<int>& buttons) {
  for (int candidate : {static_cast<int>(kBtnCancel), static_cast<int>(kBtnNo), static_cast<int>(kBtnAbort)}) {
    if (std::find(buttons.begin(), buttons.end(), candidate) != buttons.end()) return candidate;
  }
  return buttons.empty() ? kBtnCancel : buttons.front();
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<DialogState*>(lParam);
      SetWindowLongPtrA(dlg, DWLP_USER, lParam);
      LayOut(dlg, *state);
      SetForegroundWindow(dlg);
      SetFocus(GetDlgItem(dlg, state->buttons.front()));
      return FALSE;  // focus set here
    }
    case WM_COMMAND: {
      auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrA(dlg, DWLP_USER));
      if (state == nullptr) return FALSE;
      const int id = LOWORD(wParam);
      if (std::find(state->buttons.begin(), state->buttons.end(), id) != state->buttons.end()) {
        EndDialog(dlg, id);
        return TRUE;
      }
      if (id == IDCANCEL) {  // Escape or the close box
        EndDialog(dlg, CancelButton(state->buttons));
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

bool g_unattended = false;

}  // namespace

void SetUnattended(bool unattended) { g_unattended = unattended; }
bool Unattended() { return g_unattended; }

int MessageDlg(const std::string& text, DlgType type, std::initializer_list<int> buttons) {
  DialogState state{text, type, std::vector<int>(buttons)};
  if (state.buttons.empty()) state.buttons.push_back(kBtnOk);
  if (g_unattended) {
    DebugLog(std::string("box not shown (unattended): ") + Caption(type) + ": " + text);
    return CancelButton(state.buttons);
  }

  TemplateWriter t;
  const DWORD style = DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  t.Dword(style);
  t.Dword(0);  // extended style
  t.Word(static_cast<WORD>(2 + state.buttons.size()));
  t.Word(0); t.Word(0); t.Word(100); t.Word(50);  // placeholder; laid out at initialisation
  t.Word(0);  // no menu
  t.Word(0);  // standard dialog class
  t.Text(Caption(type));
  t.Word(8);  // point size
  t.Text("MS Sans Serif");
  t.Item(SS_ICON, kIconId, 0x0082, "");
  t.Item(SS_LEFT | SS_NOPREFIX, kTextId, 0x0082, text.c_str());
  bool first = true;
  for (int id : state.buttons) {
    t.Item(WS_TABSTOP | (first ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), static_cast<WORD>(id), 0x0080,
           ButtonCaption(id));
    first = false;
  }

  // A box waits for the user; the hourglass of the work before it must be
  // gone by now. Where it is not, the log says so.
  if (GetCursor() == LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT))) {
    DebugLog(std::string("box shown over the hourglass: ") + Caption(type));
  }
  MessageBeep(BeepKind(type));
  const INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.Get(), GetActiveWindow(),
                                                 DialogProc, reinterpret_cast<LPARAM>(&state));
  if (result <= 0) {
    // The box could not be shown (no display, out of resources): log it and
    // answer as the cancel button would, never as a confirmation.
    DebugLog("MessageDlg failed: " + std::to_string(GetLastError()) + " " + text);
    return CancelButton(state.buttons);
  }
  return static_cast<int>(result);
}

void showInstallError(Result code, const std::string& detail) {
  DebugLog("showInstallError: " + std::to_string(code) + " " + detail);
  if (code == kErrUserDeclined) return;  // the user's own choice needs no box
  MessageDlg(ComposeInstallError(code, detail, SystemErrorText(code)), DlgType::Error, {kBtnAbort});
}

void ShowStartupFailure(Result code) {
  if (code == kErrFlashMissing) {
    MessageDlg(ComposeStartupFailure(code), DlgType::Information, {kBtnOk});
  } else {
    MessageDlg(ComposeStartupFailure(code), DlgType::Error, {kBtnAbort});
  }
}

}  // namespace ss
