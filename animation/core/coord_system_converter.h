#pragma once

#include <cstdint>

#include "animation/core/matrix.h"
#include "animation/core/quaternion.h"
#include "animation/core/vector3.h"

namespace AnimCore {

// Converts file data between coordinate systems. The global converter is the identity
// (data is used as stored), and every conversion is then skipped.
class CoordSystemConverter {
 public:
  // The identity: axes X, Y, Z, indices 0, 1, 2.
  CoordSystemConverter();
  // The target axes as rows of the conversion matrix; axis indices reorder
  // component triples such as scales. Indices above 2 are read as 2.
  CoordSystemConverter(const Vector3& axisX, const Vector3& axisY, const Vector3& axisZ,
                       uint32_t indexX, uint32_t indexY, uint32_t indexZ);

  void ConvertVectors(Vector3* vectors, uint32_t count) const;
  // x, y, z transformed as a point; w negated when the conversion mirrors.
  void ConvertQuaternions(Quaternion* quaternions, uint32_t count) const;
  // Component i takes the old component at axis index i.
  void ConvertIndices(uint32_t components[3]) const;
  void ConvertIndices(float components[3]) const;

  const Matrix& GetConversionMatrix() const { return mConversion; }
  const Matrix& GetInverseConversionMatrix() const { return mInverse; }
  bool IsIdentity() const { return mIsIdentity; }
  bool IsMirrored() const { return mIsMirrored; }

 private:
  Matrix mConversion;
  Matrix mInverse;
  uint32_t mAxisIndices[3] = {0, 1, 2};
  bool mIsIdentity = true;
  bool mIsMirrored = false;
};

// The converter the importer passes file data through.
// Inline: the chunk readers ask for it once per value read.
inline CoordSystemConverter& GetCoordSystemConverter() {
  static CoordSystemConverter converter;
  return converter;
}

}  // namespace AnimCore
