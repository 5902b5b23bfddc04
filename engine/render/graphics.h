#pragma once

#include "platform/d3d9/d3d9.h"

// The renderer and its Direct3D 9 device. Until the graphics issue lands it
// only creates the device (for the main loop's lost-device protocol), keeps
// the screen scale of the 1024 x 768 layout and draws nothing.
class cTarvelGraphics {
public:
    cTarvelGraphics();
    ~cTarvelGraphics();
    cTarvelGraphics(const cTarvelGraphics&) = delete;
    cTarvelGraphics& operator=(const cTarvelGraphics&) = delete;

    // 0 when the device is ready.
    int Initialize();
    // Resets the device after it was lost.
    void Reset();
    void ShowStartScreen();
    int InitBlurEffect();
    void RenderFrame();
    // Saves the front buffer as a bitmap file of that name.
    void SaveScreenshot(const char* fileName);
    void Shutdown();

    // Reference units to screen pixels.
    float mScaleX;
    float mScaleY;
    IDirect3D9* mD3D;
    IDirect3DDevice9* mDevice;
    D3DPRESENT_PARAMETERS mPresentParameters;
    // Stand-in only: what Initialize returns after creating the device, so
    // tests can follow a failing graphics step.
    int mStandInResult;
};
