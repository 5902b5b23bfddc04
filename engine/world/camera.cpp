#include "engine/world/camera.h"

#include "engine/core/tarvel.h"

cTarvelCamera::cTarvelCamera()
{
    D3DXMatrixIdentity(&mView);
    D3DXMatrixIdentity(&mViewInv);
    D3DXMatrixIdentity(&mProj);
    D3DXMatrixIdentity(&mViewProj);
}

cTarvelCamera::~cTarvelCamera() = default;

void cTarvelCamera::Update() {}

void cTarvelCamera::UpdateMatrices() {}

void cTarvelCamera::Apply()
{
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    gTarvel.mShaders.SetCameraTransforms(this, &world);
}

float cTarvelCamera::DepthFromDistance(float distance) const
{
    return mFar / (mFar - mNear) - mFar * mNear / ((mFar - mNear) * distance);
}

void cTarvelCamera::SetPose(const float record[8])
{
    for (int i = 0; i < 8; ++i)
        mPose[i] = record[i];
}
