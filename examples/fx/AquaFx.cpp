// aquafx.dll, a support library of the sample screen saver: paints rising
// bubbles over the picture. The engine loads it from its install directory
// and draws without it when it is missing.
#include <windows.h>

extern "C" __declspec(dllexport) void __cdecl PaintBubbles(HDC dc, int width, int height,
                                                           unsigned frame) {
  if (!dc || width <= 0 || height <= 0) return;
  HPEN pen = CreatePen(PS_SOLID, 2, RGB(210, 235, 255));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  for (unsigned i = 0; i < 12; ++i) {
    // Each bubble has its own column, size and speed; it rises and wraps.
    const int column = static_cast<int>((i * 7919u) % static_cast<unsigned>(width));
    const int radius = 4 + static_cast<int>(i % 5) * 2;
    const unsigned speed = 2 + i % 4;
    const int travel = height + 4 * radius;
    const int y = height + 2 * radius - static_cast<int>((frame * speed + i * 97u) % static_cast<unsigned>(travel));
    const int wobble = static_cast<int>(((frame + i * 3) / 4) % 5) - 2;
    Ellipse(dc, column + wobble - radius, y - radius, column + wobble + radius, y + radius);
  }
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
}
