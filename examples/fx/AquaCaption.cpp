// aquacap.dll, a support library of the sample screen saver: draws the
// caption line with a shadow so that it reads on light and dark water.
#include <windows.h>

extern "C" __declspec(dllexport) void __cdecl PaintCaption(HDC dc, const RECT* area, const char* text) {
  if (!dc || !area || !text) return;
  const int height = (area->bottom - area->top) / 2;
  HFONT font = CreateFontA(height > 8 ? height : 8, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                           ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_SWISS, "Arial");
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  RECT shadow = *area;
  OffsetRect(&shadow, 2, 2);
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextA(dc, text, -1, &shadow, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  RECT face = *area;
  SetTextColor(dc, RGB(255, 255, 255));
  DrawTextA(dc, text, -1, &face, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, oldFont);
  DeleteObject(font);
}
