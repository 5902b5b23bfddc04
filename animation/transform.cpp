#include "animation/transform.h"

#include <cmath>

namespace Anim {

void CalcLocalMatrix(const Transform& transform, uint32_t multiplyOrder,
                     const AnimCore::Vector3* parentScale, AnimCore::Matrix& out) {
  const AnimCore::Vector3& s = transform.scale;
  const AnimCore::Quaternion& sr = transform.scaleRotation;

  // Most nodes have no scale rotation: the stretch is then diagonal and each row is
  // the rotation's row times its scale (what the full product gives, without the
  // zero terms). Every node of every instance passes here each frame.
  if (sr.x == 0.0f && sr.y == 0.0f && sr.z == 0.0f) {
    const AnimCore::Quaternion& q = transform.rotation;
    const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z, ww = q.w * q.w;
    const float rows[3][3] = {{ww + xx - yy - zz, 2.0f * (q.x * q.y + q.w * q.z), 2.0f * (q.x * q.z - q.w * q.y)},
                              {2.0f * (q.x * q.y - q.w * q.z), ww - xx + yy - zz, 2.0f * (q.y * q.z + q.w * q.x)},
                              {2.0f * (q.x * q.z + q.w * q.y), 2.0f * (q.y * q.z - q.w * q.x), ww - xx - yy + zz}};
    const float scale[3] = {s.x, s.y, s.z};
    float inverse[3] = {1.0f, 1.0f, 1.0f};
    if (multiplyOrder == 0 && parentScale != nullptr) {
      const float p[3] = {parentScale->x, parentScale->y, parentScale->z};
      for (int i = 0; i < 3; ++i) {
        if (std::fabs(p[i]) > 1e-6f) inverse[i] = 1.0f / p[i];
      }
    }
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) out(i, j) = scale[i] * rows[i][j] * inverse[j];
      out(i, 3) = 0.0f;
    }
    out(3, 0) = transform.position.x;
    out(3, 1) = transform.position.y;
    out(3, 2) = transform.position.z;
    out(3, 3) = 1.0f;
    return;
  }

  const AnimCore::Matrix r = transform.rotation.ToMatrix();

  // The 3x3 stretch SR^-1 * S * SR; without a scale rotation it is S itself.
  float stretch[3][3] = {{s.x, 0.0f, 0.0f}, {0.0f, s.y, 0.0f}, {0.0f, 0.0f, s.z}};
  if (!(sr.x == 0.0f && sr.y == 0.0f && sr.z == 0.0f)) {
    const AnimCore::Matrix q = sr.ToMatrix();
    const float scale[3] = {s.x, s.y, s.z};
    // (Q^T S Q)[i][j] = sum_k Q[k][i] * s_k * Q[k][j]
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        float sum = 0.0f;
        for (int k = 0; k < 3; ++k) sum += q(k, i) * scale[k] * q(k, j);
        stretch[i][j] = sum;
      }
    }
  }

  float inverseParent[3] = {1.0f, 1.0f, 1.0f};
  if (multiplyOrder == 0 && parentScale != nullptr) {
    const float p[3] = {parentScale->x, parentScale->y, parentScale->z};
    for (int i = 0; i < 3; ++i) {
      if (std::fabs(p[i]) > 1e-6f) inverseParent[i] = 1.0f / p[i];
    }
  }

  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      const float value = stretch[i][0] * r(0, j) + stretch[i][1] * r(1, j) + stretch[i][2] * r(2, j);
      out(i, j) = value * inverseParent[j];
    }
    out(i, 3) = 0.0f;
  }
  out(3, 0) = transform.position.x;
  out(3, 1) = transform.position.y;
  out(3, 2) = transform.position.z;
  out(3, 3) = 1.0f;
}

}  // namespace Anim
