#pragma once

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/control.h"
#include "engine/render/shader_lib.h"

class cTarvelMobile;
class cTarvelMobileAnimation;
class cTarvelView;
class MobileLookAtController;

// A flashlight in the player's hand: the scene's flashlight light follows
// the player and aims along a light cone hung on the player, a holding
// animation plays on the upper body and the forearm follows the mouse.
class cTarvelControlFlashlight : public cTarvelControl {
public:
    static constexpr int32_t kClassId = 6;
    static constexpr int32_t kLookAtId = 967;

    cTarvelControlFlashlight(const cTarvelString& symbol, const cTarvelString& imageIndex,
                             const cTarvelString& animName, const cTarvelString& startBone);
    explicit cTarvelControlFlashlight(cTarvelSavegame& savegame);
    ~cTarvelControlFlashlight() override;
    static cTarvelControl* Load(cTarvelSavegame& savegame);

    // Every mesh entry of the view drawn with method 1 receives the light on
    // its image layer named mesh name + image index.
    void AddView(cTarvelView* view);
    // Every mesh of the mobile receives the light.
    void AddMobile(cTarvelMobile* mobile, const cTarvelString& name);
    // Switches the light off and lets the arm go; the control then ends.
    void End();

    void Update() override;
    void CollectRenderItems(tArray<sRenderItem>& list, int stage) override;
    void Save(cTarvelSavegame& savegame) override;

    cTarvelString mSymbolName;
    cTarvelShaderBinding mConeShader{};
    cTarvelMobile* mCone = nullptr;                 // owned
    cTarvelMobile* mConeHolder = nullptr;           // the mobile the cone hangs on
    cTarvelMobileAnimation* mHoldAnim = nullptr;    // owned
    cTarvelMobile* mHoldMobile = nullptr;           // the mobile it plays on
    MobileLookAtController* mArmLookAt = nullptr;   // held by the player's instance
    cTarvelMobile* mArmMobile = nullptr;
    cTarvelString mStartBone;
    cTarvelString mImageIndex;
    cTarvelString mAnimName;
    tArray<cTarvelView*> mViews;
    tArray<cTarvelString> mMobiles;

private:
    void Init(const cTarvelString& imageIndex, const cTarvelString& animName, const cTarvelString& startBone);
    // The player's mobile while it is still the one the control set up on.
    static cTarvelMobile* PlayerMobile();
};
