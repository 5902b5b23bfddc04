#include "engine/render/graphics.h"

#include <cstdio>

#include "engine/core/tarvel.h"
#include "platform/win32/crt.h"

cTarvelGraphics::cTarvelGraphics()
    : mScaleX(1.0f), mScaleY(1.0f), mD3D(nullptr), mDevice(nullptr), mPresentParameters{},
      mStandInResult(0)
{
}

cTarvelGraphics::~cTarvelGraphics()
{
    Shutdown();
}

int cTarvelGraphics::Initialize()
{
    std::printf("Initializing graphics...\n");
    mD3D = Direct3DCreate9(D3D_SDK_VERSION);
    if (!mD3D)
        gTarvel.FatalError(1, ".\\source\\class_graphics", 205, "cTarvelGraphics::cTarvelGraphics",
                           "Direct3D initialization failed.", 0);

    const tTarvelConfig& config = gTarvel.mConfig;
    UINT width = config.ScreenRes >> 16;
    UINT height = config.ScreenRes & 0xFFFF;
    if (width == 0 || height == 0) {
        width = 1024;
        height = 768;
    }
    mPresentParameters = D3DPRESENT_PARAMETERS{};
    mPresentParameters.BackBufferWidth = width;
    mPresentParameters.BackBufferHeight = height;
    mPresentParameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    mPresentParameters.BackBufferCount = 1;
    mPresentParameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    mPresentParameters.hDeviceWindow = gTarvel.mWindow;
    mPresentParameters.Windowed = FALSE;
    mPresentParameters.EnableAutoDepthStencil = TRUE;
    mPresentParameters.AutoDepthStencilFormat = D3DFMT_D24S8;
    HRESULT result = mD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, gTarvel.mWindow,
                                        D3DCREATE_HARDWARE_VERTEXPROCESSING, &mPresentParameters,
                                        &mDevice);
    if (FAILED(result))
        gTarvel.FatalError(1, ".\\source\\class_graphics", 0, "cTarvelGraphics::Initialize",
                           "Device creation failed.", uint32_t(result));
    mScaleX = static_cast<float>(width) / 1024.0f;
    mScaleY = static_cast<float>(height) / 768.0f;
    return mStandInResult;
}

void cTarvelGraphics::Reset()
{
    if (mDevice)
        mDevice->Reset(&mPresentParameters);
}

void cTarvelGraphics::ShowStartScreen() {}

int cTarvelGraphics::InitBlurEffect()
{
    return 0;
}

void cTarvelGraphics::RenderFrame() {}

void cTarvelGraphics::SaveScreenshot(const char* fileName)
{
    // No front buffer yet: the file is made empty so the numbering holds.
    int fd = crt::_open(fileName, crt::_O_WRONLY | crt::_O_CREAT | crt::_O_TRUNC | crt::_O_BINARY);
    if (fd != -1)
        crt::_close(fd);
}

void cTarvelGraphics::Shutdown()
{
    if (mDevice) {
        mDevice->Release();
        mDevice = nullptr;
    }
    if (mD3D) {
        mD3D->Release();
        mD3D = nullptr;
    }
}
