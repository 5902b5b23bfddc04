// The headless screen: its size and metrics, the Windows folder, and the
// pictures of windows and of the whole screen that tests read and save.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win32/internal.h"
#include "platform/win32/presenter.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace {

constexpr char kWindowsFolder[] = "C:\\Windows";
// The colour of the desktop behind the windows.
constexpr uint32_t kDesktopColour = 0x3A6EA5;

}  // namespace

namespace platform::detail {

bool DisplayDesktop(RECT* screen, RECT* work) {
  platform::WindowPresenter* presenter = platform::CurrentWindowPresenter();
  return presenter && presenter->Desktop(screen, work) && screen->right > screen->left && screen->bottom > screen->top;
}

// The desktop of the display that shows the windows; headless the size the
// Direct3D layer's adapter profile names (its setting "d3d9.profile" holds
// ";desktop=WxH"), 1024 x 768 otherwise.
void DesktopSize(int* width, int* height) {
  RECT screen, work;
  if (DisplayDesktop(&screen, &work)) {
    *width = screen.right - screen.left;
    *height = screen.bottom - screen.top;
    return;
  }
  *width = 1024;
  *height = 768;
  auto profile = platform::testing::GetSetting("d3d9.profile");
  if (!profile) return;
  size_t at = profile->find("desktop=");
  if (at == std::string::npos) return;
  int w = 0, h = 0;
  if (std::sscanf(profile->c_str() + at + 8, "%dx%d", &w, &h) == 2 && w > 0 && h > 0) {
    *width = w;
    *height = h;
  }
}

}  // namespace platform::detail

int GetSystemMetrics(int index) {
  int w, h;
  platform::detail::DesktopSize(&w, &h);
  switch (index) {
    case SM_CXSCREEN: case SM_CXFULLSCREEN: case SM_CXMAXIMIZED: return w;
    case SM_CYSCREEN: case SM_CYMAXIMIZED: return h;
    case SM_CYFULLSCREEN: return h - 19;
    case SM_CXVSCROLL: case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXICON: case SM_CYICON: case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CXSMICON: case SM_CYSMICON: return 16;
    case SM_CYMENU: return 19;
    case SM_CXSIZE: case SM_CYSIZE: return 18;
    case SM_CXMIN: return 112;
    case SM_CYMIN: return 27;
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: return 4;
    case SM_CMONITORS: return 1;
    default: return 0;
  }
}

BOOL SystemParametersInfoA(UINT action, UINT, PVOID param, UINT) {
  if (action != SPI_GETWORKAREA || !param) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  RECT screen, work;
  if (platform::detail::DisplayDesktop(&screen, &work)) {
    *static_cast<RECT*>(param) = work;
    return TRUE;
  }
  int w, h;
  platform::detail::DesktopSize(&w, &h);
  *static_cast<RECT*>(param) = RECT{0, 0, w, h};
  return TRUE;
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  constexpr UINT length = sizeof kWindowsFolder - 1;
  if (!buffer || size < length + 1) return length + 1;
  std::memcpy(buffer, kWindowsFolder, length + 1);
  return length;
}

namespace platform::testing {

Picture WindowPixels(HWND hwnd) {
  Picture p;
  detail::TopLevelPictureInfo info;
  HWND root = hwnd;
  while (GetParent(root)) root = GetParent(root);
  if (!detail::TopLevelPicture(root, &info) || !info.pixels) return p;
  p.width = info.width;
  p.height = info.height;
  p.pixels.assign(info.pixels, info.pixels + static_cast<size_t>(info.width) * static_cast<size_t>(info.height));
  if (info.region) {
    // What lies outside the window's region is not the window's.
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        if (!detail::RegionContains(info.region, x, y)) p.pixels[static_cast<size_t>(y) * p.width + x] = 0;
      }
    }
  }
  return p;
}

Picture ScreenPixels() {
  Picture screen;
  detail::DesktopSize(&screen.width, &screen.height);
  screen.pixels.assign(static_cast<size_t>(screen.width) * static_cast<size_t>(screen.height), kDesktopColour);
  for (HWND h : detail::TopLevelWindowsBottomUp()) {
    detail::TopLevelPictureInfo w;
    if (!detail::TopLevelPicture(h, &w) || !w.visible || !w.pixels) continue;
    const uint32_t a = w.alpha;
    for (int y = std::max(0, w.y); y < std::min(screen.height, w.y + w.height); ++y) {
      for (int x = std::max(0, w.x); x < std::min(screen.width, w.x + w.width); ++x) {
        if (w.region && !detail::RegionContains(w.region, x - w.x, y - w.y)) continue;
        uint32_t src = w.pixels[static_cast<size_t>(y - w.y) * static_cast<size_t>(w.width) + (x - w.x)];
        uint32_t& dst = screen.pixels[static_cast<size_t>(y) * static_cast<size_t>(screen.width) + x];
        if (a == 255) {
          dst = src & 0xFFFFFF;
          continue;
        }
        uint32_t out = 0;
        for (int shift = 0; shift < 24; shift += 8) {
          uint32_t s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
          out |= ((s * a + d * (255 - a) + 127) / 255) << shift;
        }
        dst = out;
      }
    }
  }
  return screen;
}

bool SavePng(const Picture& picture, const std::string& linuxPath) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.pixels.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height)) {
    return false;
  }
  std::vector<png_byte> rgb(picture.pixels.size() * 3);
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    rgb[i * 3] = static_cast<png_byte>(picture.pixels[i] >> 16);
    rgb[i * 3 + 1] = static_cast<png_byte>(picture.pixels[i] >> 8);
    rgb[i * 3 + 2] = static_cast<png_byte>(picture.pixels[i]);
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, linuxPath.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

bool LoadPng(const std::string& linuxPath, Picture* picture) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, linuxPath.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  picture->width = static_cast<int>(image.width);
  picture->height = static_cast<int>(image.height);
  picture->pixels.resize(static_cast<size_t>(image.width) * image.height);
  for (size_t i = 0; i < picture->pixels.size(); ++i) {
    picture->pixels[i] = static_cast<uint32_t>(rgb[i * 3]) << 16 | static_cast<uint32_t>(rgb[i * 3 + 1]) << 8 |
                         rgb[i * 3 + 2];
  }
  return true;
}

}  // namespace platform::testing
