// Drawing and geometry routines the skinned controls share: the parent's
// background under a transparent control, strips of frames, corner-keeping
// stretching, hit tests, the work area and two window-system queries.
#pragma once

#include <string>

#include "platform/forms/controls.h"
#include "platform/forms/forms.h"
#include "platform/forms/graphics.h"

namespace skin {

using forms::TBitmap;
using forms::TCanvas;
using forms::TControl;
using forms::TPoint;
using forms::TRect;

// Paints the parent's background and content under the control into the
// canvas: the parent erases and paints into the canvas's device context,
// moved by minus the control's position and cut to the parent's client
// area. Nothing without a parent.
void DrawParentBackground(TCanvas& canvas, TControl* control);
// The picture repeated from the canvas origin over the rectangle's extent
// (and one picture beyond). An empty picture draws nothing.
void TileDraw(TCanvas& canvas, TBitmap& picture, const TRect& rect);
// The right and bottom edges count as inside.
bool PointInRect(const TPoint& point, const TRect& rect);
bool PointInRect(int x, int y, const TRect& rect);
void GetWorkArea(TRect& rect);
void SetControlBounds(TControl* control, const TRect& rect);
// Frame `index` (1 to frameCount) of a horizontal strip of equal frames;
// the last frame is the strip's last columns. A count of 0 or less or an
// index outside 1 to the count gives an empty bitmap.
void ExtractFrame(const TBitmap& source, TBitmap& dest, int frameCount, int index);
// Left and right thirds unscaled at the rectangle's ends, the middle third
// stretched between; narrower than a third: the left third, cut.
void DrawThreePartHorizontal(TBitmap& bitmap, TCanvas& canvas, const TRect& rect, forms::TColor transparentColor,
                             bool masked);
// The bitmap over the rectangle with its corners unscaled, edges and centre
// stretched from its middle; with `transparent`, 0xFF00FF is see-through.
void DrawStretchedCorners(TBitmap& bitmap, TCanvas& canvas, const TRect& rect, bool transparent);
bool HasPublishedProperty(const TControl* control, const std::string& name);
// Whether a skinned form draws its title bar as active.
bool IsFormActive(forms::TCustomForm* form);
// GetComboBoxInfo of "User32.dll", looked up on first use; 0 when missing.
BOOL CallGetComboBoxInfo(HWND comboBox, void* info);

}  // namespace skin
