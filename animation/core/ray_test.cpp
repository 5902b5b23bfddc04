#include "animation/core/ray.h"

#include <gtest/gtest.h>

namespace AnimCore {
namespace {

TEST(Ray, SegmentAgainstTriangle) {
  const Vector3 p0(0, 0, 0), p1(1, 0, 0), p2(0, 1, 0);  // in the plane z = 0
  struct Case {
    Vector3 origin;
    Vector3 destination;
    bool hit;
  } cases[] = {
      {{0.25f, 0.25f, 1}, {0.25f, 0.25f, -1}, true},
      {{0.25f, 0.25f, 1}, {0.25f, 0.25f, 0.5f}, false},   // stops short of the plane
      {{0.25f, 0.25f, -1}, {0.25f, 0.25f, -3}, false},    // points away
      {{0.75f, 0.75f, 1}, {0.75f, 0.75f, -1}, false},     // outside: u + v > 1
      {{-0.5f, 0.25f, 0}, {2, 0.25f, 0}, false},          // in the plane: det is 0
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Ray(c.origin, c.destination).Intersects(p0, p1, p2), c.hit)
        << c.origin.x << "," << c.origin.y << "," << c.origin.z;
  }

  Vector3 point;
  float u = -1, v = -1;
  ASSERT_TRUE(Ray({0.25f, 0.5f, 2}, {0.25f, 0.5f, -2}).Intersects(p0, p1, p2, &point, &u, &v));
  EXPECT_FLOAT_EQ(u, 0.25f);
  EXPECT_FLOAT_EQ(v, 0.5f);
  EXPECT_FLOAT_EQ(point.z, 0.0f);
  EXPECT_FLOAT_EQ(point.y, 0.5f);
}

TEST(Ray, ZeroLengthSegmentHasZeroDirection) {
  const Ray ray({1, 2, 3}, {1, 2, 3});
  EXPECT_EQ(ray.GetDirection(), Vector3(0, 0, 0));
  EXPECT_EQ(Ray({0, 0, 0}, {0, 0, 4}).GetDirection(), Vector3(0, 0, 1));
}

}  // namespace
}  // namespace AnimCore
