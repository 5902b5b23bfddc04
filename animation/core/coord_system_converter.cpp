#include "animation/core/coord_system_converter.h"

namespace AnimCore {

CoordSystemConverter::CoordSystemConverter()
    : CoordSystemConverter(Vector3(1, 0, 0), Vector3(0, 1, 0), Vector3(0, 0, 1), 0, 1, 2) {}

CoordSystemConverter::CoordSystemConverter(const Vector3& axisX, const Vector3& axisY,
                                           const Vector3& axisZ, uint32_t indexX,
                                           uint32_t indexY, uint32_t indexZ) {
  const Vector3* axes[3] = {&axisX, &axisY, &axisZ};
  for (int row = 0; row < 3; ++row) {
    mConversion.m16[4 * row] = axes[row]->x;
    mConversion.m16[4 * row + 1] = axes[row]->y;
    mConversion.m16[4 * row + 2] = axes[row]->z;
  }
  const uint32_t indices[3] = {indexX, indexY, indexZ};
  for (int i = 0; i < 3; ++i) mAxisIndices[i] = indices[i] > 2 ? 2 : indices[i];
  mIsMirrored = mConversion.CalcDeterminant3x3() <= 0.0f;
  mIsIdentity = mConversion.IsIdentity(0.00001f);
  if (!mIsIdentity) mInverse = mConversion.Inversed();
}

void CoordSystemConverter::ConvertVectors(Vector3* vectors, uint32_t count) const {
  if (mIsIdentity) return;
  for (uint32_t i = 0; i < count; ++i) vectors[i] = mConversion.TransformPoint(vectors[i]);
}

void CoordSystemConverter::ConvertQuaternions(Quaternion* quaternions, uint32_t count) const {
  if (mIsIdentity) return;
  for (uint32_t i = 0; i < count; ++i) {
    Quaternion& q = quaternions[i];
    const Vector3 v = mConversion.TransformPoint(Vector3(q.x, q.y, q.z));
    q.x = v.x;
    q.y = v.y;
    q.z = v.z;
    if (mIsMirrored) q.w = -q.w;
  }
}

void CoordSystemConverter::ConvertIndices(uint32_t components[3]) const {
  if (mIsIdentity) return;
  const uint32_t old[3] = {components[0], components[1], components[2]};
  for (int i = 0; i < 3; ++i) components[i] = old[mAxisIndices[i]];
}

void CoordSystemConverter::ConvertIndices(float components[3]) const {
  if (mIsIdentity) return;
  const float old[3] = {components[0], components[1], components[2]};
  for (int i = 0; i < 3; ++i) components[i] = old[mAxisIndices[i]];
}


}  // namespace AnimCore
