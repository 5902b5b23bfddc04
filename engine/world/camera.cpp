#include "engine/world/camera.h"

#include <cmath>

#include "engine/core/tarvel.h"

namespace {

// Where the camera looks from until the first view select replaces it.
const D3DXVECTOR3 kDefaultEye(0.0f, 0.0f, -500.0f);

D3DXMATRIX Identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

} // namespace

cTarvelCamera::cTarvelCamera()
{
    // The screen size is not known yet (the cameras are built before the
    // graphics): the viewport stays empty until the scene sets it.
    const D3DXVECTOR3 at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&mView, &kDefaultEye, &at, &up);
    mPosition = D3DXVECTOR3(mView._41, mView._42, -mView._43);
    D3DXMatrixInverse(&mViewInv, nullptr, &mView);
    mProj = Identity();
    mViewProj = mView;
}

cTarvelCamera::~cTarvelCamera() = default;

void cTarvelCamera::UpdateMatrices()
{
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    if (mViewport.Width == 0 || mViewport.Height == 0 || graphics.mHeight <= 0 || graphics.mScaleX <= 0.0f)
        return;
    D3DXMATRIX translation, rotation;
    D3DXMatrixTranslation(&translation, -mPosition.x, -mPosition.y, -mPosition.z);
    const D3DXQUATERNION conjugate(-mRotation.x, -mRotation.y, -mRotation.z, mRotation.w);
    D3DXMatrixRotationQuaternion(&rotation, &conjugate);
    D3DXMatrixMultiply(&mView, &translation, &rotation);
    const float height = float(mViewport.Height);
    const float aspect = (graphics.mScaleY / graphics.mScaleX) * (float(mViewport.Width) / height);
    // The field of view is the full screen's: a shorter or narrower viewport
    // crops the picture rather than squeezing it.
    const float fov = 2.0f * std::atan(std::tan(mFov / 2.0f) * height / float(graphics.mHeight));
    D3DXMatrixPerspectiveFovLH(&mProj, fov, aspect, mNear, mFar);
    D3DXMatrixMultiply(&mViewProj, &mView, &mProj);
    D3DXMatrixInverse(&mViewInv, nullptr, &mView);
    mOutOfDate = 0;
}

void cTarvelCamera::Apply()
{
    if (mOutOfDate)
        UpdateMatrices();
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    if (device && mViewport.Width > 0 && mViewport.Height > 0)
        device->SetViewport(&mViewport);
    D3DXMATRIX world = Identity();
    if (device)
        device->GetTransform(D3DTS_WORLD, &world);
    gTarvel.mShaders.SetCameraTransforms(this, &world);
}

void cTarvelCamera::SetPose(const float record[8])
{
    Set(record, record + 3, record[7]);
}

void cTarvelCamera::Set(const float position[3], const float rotation[4], float fov)
{
    mMoving = 0;
    mPosition = D3DXVECTOR3(position[0], position[1], position[2]);
    mRotation = D3DXQUATERNION(rotation);
    mFov = fov;
    UpdateMatrices();
}

void cTarvelCamera::Move(float duration, float startSmoothing, float endSmoothing, const float position[3],
                         const float rotation[4], float fov)
{
    mStartPosition = mPosition;
    mStartRotation = mRotation;
    mStartFov = mFov;
    mTargetPosition = D3DXVECTOR3(position[0], position[1], position[2]);
    mTargetRotation = D3DXQUATERNION(rotation);
    mTargetFov = fov;
    mStartSmoothing = startSmoothing;
    mEndSmoothing = endSmoothing;
    mMoveStart = gTarvel.mTimer.GetSeconds();
    mDuration = duration;
    mMoving = 1;
}

void cTarvelCamera::Update()
{
    if (!mMoving)
        return;
    const float elapsed = gTarvel.mTimer.GetSeconds() - mMoveStart;
    // A move of no duration ends at once, even before the clock advanced
    // (0 / 0 has no fraction).
    const float t = mDuration > 0.0f ? elapsed / mDuration : 1.0f;
    if (t < 1.0f) {
        const float r = 1.0f - t, a = mEndSmoothing, b = mStartSmoothing;
        const float e = t * ((1.0f - r * r) * a) + (r * (t * t * b) + (1.0f - (a * t + b * r)) * t);
        mPosition = mStartPosition + (mTargetPosition - mStartPosition) * e;
        D3DXQuaternionSlerp(&mRotation, &mStartRotation, &mTargetRotation, e);
        mFov = mStartFov + (mTargetFov - mStartFov) * e;
        UpdateMatrices();
        return;
    }
    Set(mTargetPosition, mTargetRotation, mTargetFov);
}

void cTarvelCamera::FinishMove()
{
    if (mMoving)
        Set(mTargetPosition, mTargetRotation, mTargetFov);
}

void cTarvelCamera::SetViewport(uint32_t x, uint32_t y, uint32_t width, uint32_t height)
{
    mViewport.X = x;
    mViewport.Y = y;
    mViewport.Width = width;
    mViewport.Height = height;
    mViewport.MinZ = 0.0f;
    mViewport.MaxZ = 1.0f;
}

void cTarvelCamera::Project(D3DXVECTOR3* point) const
{
    const D3DXMATRIX world = Identity();
    const D3DXVECTOR3 in = *point;
    D3DXVec3Project(point, &in, &mViewport, &mProj, &mView, &world);
}

void cTarvelCamera::Unproject(D3DXVECTOR3* point) const
{
    const D3DXMATRIX world = Identity();
    const D3DXVECTOR3 in = *point;
    D3DXVec3Unproject(point, &in, &mViewport, &mProj, &mView, &world);
}

float cTarvelCamera::DepthFromDistance(float distance) const
{
    return mFar / (mFar - mNear) - mFar * mNear / ((mFar - mNear) * distance);
}

float cTarvelCamera::DistanceFromDepth(float depth) const
{
    return -(mFar * mNear / (mFar - mNear)) / (depth - mFar / (mFar - mNear));
}

bool cTarvelCamera::IsBackFacing(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c) const
{
    const D3DXVECTOR3 ab = b - a, ac = c - a, toA = a - mPosition;
    D3DXVECTOR3 normal;
    D3DXVec3Cross(&normal, &ab, &ac);
    D3DXVec3Normalize(&normal, &normal);
    return D3DXVec3Dot(&normal, &toA) <= 0.0f;
}

void cTarvelCamera::Save(cTarvelSavegame& savegame) const
{
    savegame.SetAttributeInt("moving", mMoving ? 1 : 0);
    savegame.WriteVec3("Position", mPosition);
    savegame.WriteVec4("Rotation", mRotation);
    savegame.WriteFloat("FOV", mFov);
    if (!mMoving)
        return;
    savegame.AddElement("MoveStart");
    savegame.WriteTime("Time", mMoveStart);
    savegame.WriteVec3("Position", mStartPosition);
    savegame.WriteVec4("Rotation", mStartRotation);
    savegame.WriteFloat("FOV", mStartFov);
    savegame.WriteFloat("Smooth", mStartSmoothing);
    savegame.LeaveElement();
    savegame.AddElement("MoveTarget");
    savegame.WriteFloat("Duration", mDuration);
    savegame.WriteVec3("Position", mTargetPosition);
    savegame.WriteVec4("Rotation", mTargetRotation);
    savegame.WriteFloat("FOV", mTargetFov);
    savegame.WriteFloat("Smooth", mEndSmoothing);
    savegame.LeaveElement();
}

void cTarvelCamera::Load(cTarvelSavegame& savegame)
{
    mMoving = savegame.GetAttributeInt("moving", 0) != 0 ? 1 : 0;
    savegame.ReadVec3("Position", mPosition);
    savegame.ReadVec4("Rotation", mRotation);
    mFov = savegame.ReadFloat("FOV", 0.5f);
    if (mMoving && savegame.EnterElement("MoveStart")) {
        mMoveStart = savegame.ReadTime("Time", 0.0f);
        savegame.ReadVec3("Position", mStartPosition);
        savegame.ReadVec4("Rotation", mStartRotation);
        mStartFov = savegame.ReadFloat("FOV", 0.5f);
        mStartSmoothing = savegame.ReadFloat("Smooth", 0.0f);
        savegame.LeaveElement();
    }
    if (mMoving && savegame.EnterElement("MoveTarget")) {
        mDuration = savegame.ReadFloat("Duration", 0.0f);
        savegame.ReadVec3("Position", mTargetPosition);
        savegame.ReadVec4("Rotation", mTargetRotation);
        mTargetFov = savegame.ReadFloat("FOV", 0.5f);
        mEndSmoothing = savegame.ReadFloat("Smooth", 0.0f);
        savegame.LeaveElement();
    }
    mOutOfDate = 1;
}
