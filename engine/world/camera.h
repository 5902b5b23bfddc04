#pragma once

#include "platform/d3dx9/d3dx9_math.h"

// A camera of the main object (main and second camera). Until the world
// issue lands it holds no pose and its per-frame update does nothing; it
// keeps the clip planes and the matrices the renderer reads, with the
// default planes and identity matrices.
class cTarvelCamera {
public:
    cTarvelCamera();
    ~cTarvelCamera();

    void Update();
    void UpdateMatrices();
    // Sets the matrices on the device and the shader library.
    void Apply();
    // The depth-buffer value of a view distance for the near and far planes.
    float DepthFromDistance(float distance) const;
    // Stops any move and takes an eight-float pose record: position,
    // rotation quaternion, field of view. Until the world issue lands the
    // record is only kept.
    void SetPose(const float record[8]);

    float mNear = 10.0f;
    float mFar = 10000.0f;
    D3DXMATRIX mView;
    D3DXMATRIX mViewInv;
    D3DXMATRIX mProj;
    D3DXMATRIX mViewProj;
    float mPose[8] = {};
};
