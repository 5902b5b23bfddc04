// Device contexts of the headless display. A device context draws on 32-bit
// pixels (0x00RRGGBB, top row first): a top-level window's composed picture
// (GetDC, BeginPaint; a child window draws into its top-level window's
// picture at its own place) or memory that a bitmap owns (CreateSurfaceDC).
// The drawing itself is done by the caller (the forms framework's canvas)
// through the surface this header hands out; the layer keeps the viewport
// origin, the clip rectangle and their saved states.
#pragma once

#include <cstdint>

#include "platform/win32/windows_types.h"

namespace platform {

struct DcSurface {
  uint32_t* bits = nullptr;  // null when the window has no picture
  int width = 0;             // pixels per row
  int height = 0;
  POINT origin{0, 0};        // device position of logical (0, 0)
  RECT clip{0, 0, 0, 0};     // device coordinates, right and bottom excluded
};

// A device context on caller-owned pixels; freed with DeleteDC. The pixels
// must outlive it (or be replaced with RetargetSurfaceDC).
HDC CreateSurfaceDC(uint32_t* bits, int width, int height);
void RetargetSurfaceDC(HDC dc, uint32_t* bits, int width, int height);
// False for an unknown handle. Clip is within the surface.
bool GetDcSurface(HDC dc, DcSurface* out);
// The bitmap handle of a surface DC's pixels (the framework's bitmaps hand
// it out); it follows RetargetSurfaceDC and goes with DeleteDC.
HBITMAP SurfaceBitmap(HDC dc);

}  // namespace platform

BOOL DeleteDC(HDC dc);
// Rows `start` to `start + lines` of a 24- or 32-bit BI_RGB image (header
// sizes of 40 bytes and more; a positive height counts rows from the
// bottom; each row padded to 4 bytes) into a surface bitmap, where they
// fit. Returns the rows copied, 0 on failure. The device context is not
// needed.
int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info,
              UINT colorUse);
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
// Validates the window; sends WM_ERASEBKGND (with the paint DC) first when
// the window was invalidated with erasing.
HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint);
// Saved states are numbered from 1; RestoreDC with -1 restores the last one.
int SaveDC(HDC dc);
BOOL RestoreDC(HDC dc, int savedDc);
BOOL SetViewportOrgEx(HDC dc, int x, int y, LPPOINT previous);
BOOL GetViewportOrgEx(HDC dc, LPPOINT origin);
BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, LPPOINT previous);
// In logical coordinates. Returns 1 (NULLREGION) when nothing is left, else 2.
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
