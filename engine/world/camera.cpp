#include "engine/world/camera.h"

cTarvelCamera::cTarvelCamera()
{
    D3DXMatrixIdentity(&mView);
    D3DXMatrixIdentity(&mViewInv);
    D3DXMatrixIdentity(&mProj);
    D3DXMatrixIdentity(&mViewProj);
}

cTarvelCamera::~cTarvelCamera() = default;

void cTarvelCamera::Update() {}

float cTarvelCamera::DepthFromDistance(float distance) const
{
    return mFar / (mFar - mNear) - mFar * mNear / ((mFar - mNear) * distance);
}
