#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9_math.h"

class cTarvelSavegame;

// A camera of the main object: the main camera shows stage 0, the second
// camera the strip of split screen. A pose, clip planes, a viewport in
// screen pixels and the matrices made from them; scripts move it over time
// with easing at both ends.
class cTarvelCamera {
public:
    cTarvelCamera();
    ~cTarvelCamera();

    // Per frame: one step of a running move.
    void Update();
    // Recomputes every matrix. A camera whose viewport is empty, or built
    // before the screen size is known, keeps its last matrices.
    void UpdateMatrices();
    // Sets the viewport on the device and the matrices on the shader library.
    void Apply();
    // Stops any move and takes an eight-float pose record: position,
    // rotation quaternion, field of view.
    void SetPose(const float record[8]);
    void Set(const float position[3], const float rotation[4], float fov);
    void Move(float duration, float startSmoothing, float endSmoothing, const float position[3],
              const float rotation[4], float fov);
    void FinishMove();
    void SetViewport(uint32_t x, uint32_t y, uint32_t width, uint32_t height);
    // World point to screen point and back, in place.
    void Project(D3DXVECTOR3* point) const;
    void Unproject(D3DXVECTOR3* point) const;
    // The depth-buffer value of a view distance for the near and far planes,
    // and back.
    float DepthFromDistance(float distance) const;
    float DistanceFromDepth(float depth) const;
    bool IsBackFacing(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c) const;
    // The listener's frame: the rows of the inverse view matrix.
    D3DXVECTOR3 Forward() const { return D3DXVECTOR3(mViewInv._31, mViewInv._32, mViewInv._33); }
    D3DXVECTOR3 Up() const { return D3DXVECTOR3(mViewInv._21, mViewInv._22, mViewInv._23); }
    void Save(cTarvelSavegame& savegame) const;
    void Load(cTarvelSavegame& savegame);

    uint8_t mOutOfDate = 1;
    D3DXVECTOR3 mStartPosition{};
    D3DXQUATERNION mStartRotation{0, 0, 0, 1};
    float mStartFov = 0.0f;
    D3DXVECTOR3 mTargetPosition{};
    D3DXQUATERNION mTargetRotation{0, 0, 0, 1};
    float mTargetFov = 0.0f;
    float mStartSmoothing = 0.0f;
    float mEndSmoothing = 0.0f;
    float mMoveStart = 0.0f;
    float mDuration = 0.0f;
    uint8_t mMoving = 0;
    D3DXVECTOR3 mPosition{};
    D3DXQUATERNION mRotation{0, 0, 0, 1};
    float mFov = 0.785f;
    float mNear = 10.0f;
    float mFar = 10000.0f;
    D3DVIEWPORT9 mViewport{0, 0, 0, 0, 0.0f, 1.0f};
    D3DXMATRIX mView;
    D3DXMATRIX mViewInv;
    D3DXMATRIX mProj;
    D3DXMATRIX mViewProj;
};
