#include "animation/core/coord_system_converter.h"

#include <gtest/gtest.h>

namespace AnimCore {
namespace {

TEST(CoordSystemConverter, GlobalConverterLeavesDataAsStored) {
  const CoordSystemConverter& converter = GetCoordSystemConverter();
  EXPECT_TRUE(converter.IsIdentity());
  EXPECT_FALSE(converter.IsMirrored());
  Vector3 v(1, 2, 3);
  Quaternion q(0.1f, 0.2f, 0.3f, 0.9f);
  float scale[3] = {4, 5, 6};
  converter.ConvertVectors(&v, 1);
  converter.ConvertQuaternions(&q, 1);
  converter.ConvertIndices(scale);
  EXPECT_EQ(v, Vector3(1, 2, 3));
  EXPECT_EQ(q, Quaternion(0.1f, 0.2f, 0.3f, 0.9f));
  EXPECT_EQ(scale[0], 4);
  EXPECT_EQ(scale[2], 6);
}

TEST(CoordSystemConverter, MirroringSwapOfXAndZ) {
  const CoordSystemConverter converter(Vector3(0, 0, 1), Vector3(0, 1, 0), Vector3(1, 0, 0), 2, 1,
                                       0);
  EXPECT_FALSE(converter.IsIdentity());
  EXPECT_TRUE(converter.IsMirrored());
  Vector3 v[2] = {{1, 2, 3}, {-4, 0, 5}};
  converter.ConvertVectors(v, 2);
  EXPECT_EQ(v[0], Vector3(3, 2, 1));
  EXPECT_EQ(v[1], Vector3(5, 0, -4));
  Quaternion q(0.1f, 0.2f, 0.3f, 0.9f);
  converter.ConvertQuaternions(&q, 1);
  EXPECT_EQ(q, Quaternion(0.3f, 0.2f, 0.1f, -0.9f));
  uint32_t indices[3] = {10, 20, 30};
  converter.ConvertIndices(indices);
  EXPECT_EQ(indices[0], 30u);
  EXPECT_EQ(indices[1], 20u);
  EXPECT_EQ(indices[2], 10u);
}

TEST(CoordSystemConverter, RotationFromYUpToZUp) {
  const CoordSystemConverter converter(Vector3(1, 0, 0), Vector3(0, 0, 1), Vector3(0, -1, 0), 0,
                                       2, 1);
  EXPECT_FALSE(converter.IsMirrored());
  Vector3 v(1, 2, 3);
  converter.ConvertVectors(&v, 1);
  EXPECT_EQ(v, Vector3(1, -3, 2));
  Quaternion q(0.1f, 0.2f, 0.3f, 0.9f);
  converter.ConvertQuaternions(&q, 1);
  EXPECT_EQ(q, Quaternion(0.1f, -0.3f, 0.2f, 0.9f));
  EXPECT_TRUE(
      (converter.GetConversionMatrix() * converter.GetInverseConversionMatrix()).IsIdentity(1e-6f));
  float scale[3] = {4, 5, 6};
  converter.ConvertIndices(scale);
  EXPECT_EQ(scale[1], 6);
  EXPECT_EQ(scale[2], 5);
}

}  // namespace
}  // namespace AnimCore
