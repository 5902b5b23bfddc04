// Device contexts: a target (a window's place in its top-level picture, or
// caller-owned pixels), a viewport origin and a clip rectangle, with saved
// states. Used from the user-interface thread only.
#include "platform/win32/dc.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/win32/internal.h"
#include "platform/win32/win32.h"

namespace {

struct State {
  POINT origin;
  RECT clip;
};

struct DeviceContext {
  HWND window = nullptr;  // null for a surface DC
  bool frame = false;     // the whole window (GetWindowDC)
  uint32_t* bits = nullptr;
  int width = 0, height = 0;
  POINT base{0, 0};  // the window's client origin in its top-level picture
  State state{};     // origin relative to base; clip in device pixels
  std::vector<State> saved;
};

std::unordered_map<HDC, std::unique_ptr<DeviceContext>> g_dcs;
// Bitmap handles of surface DCs: the DC's address, typed apart.
HBITMAP BitmapOf(HDC dc) { return reinterpret_cast<HBITMAP>(dc); }

DeviceContext* Dc(HDC dc) {
  auto it = g_dcs.find(dc);
  return it == g_dcs.end() ? nullptr : it->second.get();
}

HDC Register(std::unique_ptr<DeviceContext> dc) {
  HDC handle = reinterpret_cast<HDC>(dc.get());
  g_dcs.emplace(handle, std::move(dc));
  return handle;
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

}  // namespace

namespace platform {

HDC CreateSurfaceDC(uint32_t* bits, int width, int height) {
  auto dc = std::make_unique<DeviceContext>();
  dc->bits = bits;
  dc->width = std::max(width, 0);
  dc->height = std::max(height, 0);
  dc->state = {{0, 0}, {0, 0, dc->width, dc->height}};
  return Register(std::move(dc));
}

void RetargetSurfaceDC(HDC handle, uint32_t* bits, int width, int height) {
  DeviceContext* dc = Dc(handle);
  if (!dc || dc->window) return;
  dc->bits = bits;
  dc->width = std::max(width, 0);
  dc->height = std::max(height, 0);
  dc->saved.clear();
  dc->state = {{0, 0}, {0, 0, dc->width, dc->height}};
}

bool GetDcSurface(HDC handle, DcSurface* out) {
  DeviceContext* dc = Dc(handle);
  if (!dc || !out) return false;
  RECT bounds{0, 0, dc->width, dc->height};
  if (dc->window) {
    // The window's picture may have been reallocated since.
    detail::WindowSurfaceInfo info;
    if (!(dc->frame ? detail::WindowFrameSurface(dc->window, &info) : detail::WindowSurface(dc->window, &info))) {
      return false;
    }
    dc->bits = info.bits;
    bounds = {0, 0, info.width, info.height};
    dc->width = info.width;
    dc->height = info.height;
  }
  out->bits = dc->bits;
  out->width = dc->width;
  out->height = dc->height;
  out->origin = {dc->base.x + dc->state.origin.x, dc->base.y + dc->state.origin.y};
  out->clip = Intersect(dc->state.clip, bounds);
  return true;
}

HBITMAP SurfaceBitmap(HDC handle) {
  DeviceContext* dc = Dc(handle);
  return dc && !dc->window ? BitmapOf(handle) : nullptr;
}

}  // namespace platform

int SetDIBits(HDC, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info, UINT colorUse) {
  DeviceContext* dc = Dc(reinterpret_cast<HDC>(bitmap));
  if (!dc || dc->window || !bits || !info || colorUse != DIB_RGB_COLORS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const BITMAPINFOHEADER& h = info->bmiHeader;
  const int bytes = h.biBitCount / 8;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || (h.biBitCount != 24 && h.biBitCount != 32) ||
      h.biCompression != BI_RGB || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int64_t width = h.biWidth;
  const int64_t height = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
  const int64_t stride = (width * bytes + 3) / 4 * 4;
  const int64_t first = start, count = std::min<int64_t>(lines, std::max<int64_t>(0, height - first));
  const auto* src = static_cast<const uint8_t*>(bits);
  const int columns = int(std::min<int64_t>(width, dc->width));
  for (int64_t i = 0; i < count; ++i) {
    // Scan line `first + i` counts from the image's bottom when bottom-up.
    const int64_t line = first + i;
    const int64_t y = h.biHeight > 0 ? height - 1 - line : line;
    if (y < 0 || y >= dc->height || !dc->bits) continue;
    const uint8_t* in = src + i * stride;
    uint32_t* out = dc->bits + y * dc->width;
    for (int x = 0; x < columns; ++x) {
      const uint8_t* p = in + x * bytes;
      out[x] = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
  }
  return int(count);
}

BOOL DeleteDC(HDC dc) { return g_dcs.erase(dc) ? TRUE : FALSE; }

HDC GetDC(HWND hwnd) {
  platform::detail::WindowSurfaceInfo info;
  if (!platform::detail::WindowSurface(hwnd, &info)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  auto dc = std::make_unique<DeviceContext>();
  dc->window = hwnd;
  dc->bits = info.bits;
  dc->width = info.width;
  dc->height = info.height;
  dc->base = info.origin;
  dc->state = {{0, 0}, info.clip};
  return Register(std::move(dc));
}

HDC GetWindowDC(HWND hwnd) {
  platform::detail::WindowSurfaceInfo info;
  if (!platform::detail::WindowFrameSurface(hwnd, &info)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  auto dc = std::make_unique<DeviceContext>();
  dc->window = hwnd;
  dc->frame = true;
  dc->bits = info.bits;
  dc->width = info.width;
  dc->height = info.height;
  dc->state = {{0, 0}, info.clip};
  return Register(std::move(dc));
}

int ReleaseDC(HWND, HDC dc) {
  DeviceContext* d = Dc(dc);
  if (!d || !d->window) return 0;
  g_dcs.erase(dc);
  return 1;
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
  if (!paint) return nullptr;
  HDC dc = GetDC(hwnd);
  if (!dc) return nullptr;
  *paint = PAINTSTRUCT{};
  paint->hdc = dc;
  // The layer erases before WM_PAINT; a paint asked for without that
  // (a procedure calling BeginPaint on its own) erases here.
  if (platform::detail::TakeErase(hwnd)) {
    paint->fErase = SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
  }
  RECT client;
  GetClientRect(hwnd, &client);
  paint->rcPaint = client;
  platform::detail::Validate(hwnd);
  return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
  if (!paint) return FALSE;
  return ReleaseDC(hwnd, paint->hdc) ? TRUE : FALSE;
}

int SaveDC(HDC handle) {
  DeviceContext* dc = Dc(handle);
  if (!dc) return 0;
  dc->saved.push_back(dc->state);
  return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC handle, int savedDc) {
  DeviceContext* dc = Dc(handle);
  if (!dc || savedDc == 0) return FALSE;
  int count = static_cast<int>(dc->saved.size());
  int index = savedDc < 0 ? count + savedDc : savedDc - 1;
  if (index < 0 || index >= count) return FALSE;
  dc->state = dc->saved[static_cast<size_t>(index)];
  dc->saved.resize(static_cast<size_t>(index));
  return TRUE;
}

BOOL SetViewportOrgEx(HDC handle, int x, int y, LPPOINT previous) {
  DeviceContext* dc = Dc(handle);
  if (!dc) return FALSE;
  if (previous) *previous = dc->state.origin;
  dc->state.origin = {x, y};
  return TRUE;
}

BOOL GetViewportOrgEx(HDC handle, LPPOINT origin) {
  DeviceContext* dc = Dc(handle);
  if (!dc || !origin) return FALSE;
  *origin = dc->state.origin;
  return TRUE;
}

BOOL OffsetViewportOrgEx(HDC handle, int dx, int dy, LPPOINT previous) {
  DeviceContext* dc = Dc(handle);
  if (!dc) return FALSE;
  if (previous) *previous = dc->state.origin;
  dc->state.origin.x += dx;
  dc->state.origin.y += dy;
  return TRUE;
}

int IntersectClipRect(HDC handle, int left, int top, int right, int bottom) {
  DeviceContext* dc = Dc(handle);
  if (!dc) return 0;
  int ox = dc->base.x + dc->state.origin.x, oy = dc->base.y + dc->state.origin.y;
  RECT r{left + ox, top + oy, right + ox, bottom + oy};
  dc->state.clip = Intersect(dc->state.clip, r);
  bool empty = dc->state.clip.right <= dc->state.clip.left || dc->state.clip.bottom <= dc->state.clip.top;
  return empty ? 1 : 2;
}
