#pragma once

#include <cstdint>

#include "engine/gameplay/screen_control.h"
#include "engine/render/shader_lib.h"

class cTarvelImage;

// A tuning dial from 88 to 112: the arrows move the needle, OK stores the
// value in the scene's shared value "<object>::RadioResult" and sends
// "RadioSelected" to the scene's script object.
class cTarvelScreenControlRadio : public cTarvelScreenControl {
public:
    static constexpr int32_t kLowest = 88;
    static constexpr int32_t kHighest = 112;

    cTarvelScreenControlRadio();
    ~cTarvelScreenControlRadio() override;
    cTarvelScreenControlRadio(const cTarvelScreenControlRadio&) = delete;
    cTarvelScreenControlRadio& operator=(const cTarvelScreenControlRadio&) = delete;

    bool Update() override;
    void RenderBack() override;
    void ReleaseResources() override;

    cTarvelImage* mBack = nullptr;    // owned, as are the four below
    cTarvelImage* mLine = nullptr;
    cTarvelImage* mOk = nullptr;
    cTarvelImage* mLeft = nullptr;
    cTarvelImage* mRight = nullptr;
    cTarvelShaderBinding mHighlighted{};
    cTarvelShaderBinding mDimmed{};
    int32_t mValue = kLowest;

private:
    bool OverOk() const;
    bool OverLeft() const;
    bool OverRight() const;
    void DrawButton(cTarvelImage* image, bool hovered);
};
