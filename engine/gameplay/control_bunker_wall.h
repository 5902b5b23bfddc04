#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/control.h"
#include "engine/render/shader_lib.h"

class cTarvelImage;
class cTarvelMobile;
class cTarvelParticle;
class cTarvelParticleSparkle;
class MobilePhysicsTMController;
struct sPhysicsBody;

// The shooting scene: a wall mesh whose bricks are rigid bodies. Shots come
// from the bunker-wall screen; hard impacts raise dust and play a sound. The
// brick matrices outlive the control in the shared script value
// "~BunkerWallData~", so a wall built again (after a scene change or a
// savegame) stands as it was left.
class cTarvelControlBunkerWall : public cTarvelControl {
public:
    static constexpr int32_t kClassId = 1;
    static constexpr const char* kDataName = "~BunkerWallData~";

    cTarvelControlBunkerWall(const cTarvelString& meshName, float x, float y, float z, float floorLevel,
                             const cTarvelString& cursorName, const cTarvelString& lightName,
                             const cTarvelString& soundName, const cTarvelString& symbol);
    explicit cTarvelControlBunkerWall(cTarvelSavegame& savegame);
    ~cTarvelControlBunkerWall() override;
    static cTarvelControl* Load(cTarvelSavegame& savegame);

    // Empties the screen-control stack and pushes the aiming screen on the
    // rectangle; impacts count from now on.
    void Execute(int32_t left, int32_t top, int32_t right, int32_t bottom);
    // Six adjacent columns with fewer than two standing bricks each.
    bool IsFinished();

    void Update() override;
    void CollectRenderItems(tArray<sRenderItem>& list, int stage) override;
    void Save(cTarvelSavegame& savegame) override;

    // Writes every brick's matrix into "~BunkerWallData~": a count byte
    // (at most 255), then 64 bytes a brick.
    void StoreWallState();

    float mFloorLevel = 0.0f;
    bool mShooting = false;
    cTarvelImage* mCursor = nullptr;   // owned
    cTarvelString mCursorName;
    cTarvelString mLightName;
    cTarvelMobile* mWall = nullptr;    // owned
    cTarvelString mMeshName;
    float mPosition[3] = {};
    MobilePhysicsTMController* mNodeController = nullptr;   // owned by the wall's instance
    cTarvelShaderBinding mWallShader{};
    tArray<sPhysicsBody*> mBrickBodies;
    // The node of each brick body, in the same order.
    tArray<int32_t> mBrickNodes;
    tArray<sPhysicsBody*> mFixedBodies;
    cTarvelString mSymbolName;
    cTarvelString mSoundName;
    cTarvelParticleSparkle* mSparks = nullptr;   // owned
    tArray<cTarvelParticle*> mDust;              // owned
    int mMaterial = 0;

private:
    void Build(const cTarvelString& meshName, const float position[3], float floorLevel,
               const cTarvelString& cursorName, const cTarvelString& lightName, const cTarvelString& soundName);
    void CreateBricks();
    void RestoreWallState();
};
