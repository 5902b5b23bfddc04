// Shared small types of the forms framework: colours, geometry, shift
// states, mouse buttons and the framework's own messages.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32/windows_types.h"

namespace forms {

// 0x00BBGGRR, as the framework's colour properties hold them; values with
// the top bit set name a system colour.
using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clNavy = 0x800000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;

// The RGB value of a colour (system colours resolved), as 0x00BBGGRR.
TColor ColorToRGB(TColor color);
// 0x00RRGGBB, the pixel layout of bitmaps and window pictures.
inline uint32_t ColorToPixel(TColor color) {
  uint32_t c = static_cast<uint32_t>(ColorToRGB(color));
  return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}
inline TColor PixelToColor(uint32_t p) {
  return static_cast<TColor>((p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF));
}

struct TPoint {
  int X = 0, Y = 0;
};
struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
};
inline TRect Rect(int l, int t, int r, int b) { return {l, t, r, b}; }
inline TRect Bounds(int l, int t, int w, int h) { return {l, t, l + w, t + h}; }
inline TPoint Point(int x, int y) { return {x, y}; }

enum TShiftStateBits : uint32_t {
  ssShift = 1,
  ssAlt = 2,
  ssCtrl = 4,
  ssLeft = 8,
  ssRight = 16,
  ssMiddle = 32,
  ssDouble = 64,
};
using TShiftState = uint32_t;
// The modifiers held now, from the Win32 layer's key state.
TShiftState KeyboardShiftState();

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

enum TModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrAll = 8,
  mrNoToAll = 9,
  mrYesToAll = 10,
};

// The framework's own messages, sent through a control's window procedure.
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 3;
constexpr UINT CM_FONTCHANGED = CM_BASE + 5;
constexpr UINT CM_FOCUSCHANGED = CM_BASE + 7;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
constexpr UINT CM_CURSORCHANGED = CM_BASE + 13;
constexpr UINT CM_MOUSEENTER = CM_BASE + 19;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 20;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;
constexpr UINT CM_DIALOGKEY = CM_BASE + 21;
constexpr UINT CM_DIALOGCHAR = CM_BASE + 22;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 12;
constexpr UINT CM_COLORCHANGED = CM_BASE + 14;
constexpr UINT CM_RELEASE = CM_BASE + 33;

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

// Removes the "&" prefixes ("&&" stays one "&").
std::string StripHotkey(const std::string& text);
// Whether `ch` is the accelerator ("&x") of `caption`, without case.
bool IsAccel(char ch, const std::string& caption);

}  // namespace forms
