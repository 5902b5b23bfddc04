#include "animation/key_track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "animation/anim_test_support.h"

namespace Anim {
namespace {

using AnimCore::Quaternion;
using AnimCore::Vector3;
using testing::AnimTest;

// A position track with keys at the given times; key i holds (i, 10 i, 0).
void Fill(Vector3KeyTrack& track, const std::vector<float>& times) {
  for (size_t i = 0; i < times.size(); ++i) {
    track.AddKey(times[i], Vector3(float(i), 10.0f * float(i), 0.0f));
  }
}

TEST_F(AnimTest, FindKeyAtBothEndsAndBetweenKeys) {
  struct Case {
    std::vector<float> times;
    float time;
    int32_t expected;
  } cases[] = {
      {{}, 0.0f, -1},
      {{1.0f}, 0.5f, 0},
      {{1.0f}, 1.0f, 0},
      {{1.0f}, 1.5f, -1},
      // Five keys: linear scan only.
      {{0, 1, 2, 3, 4}, -1.0f, 0},
      {{0, 1, 2, 3, 4}, 0.0f, 0},
      {{0, 1, 2, 3, 4}, 2.5f, 2},
      {{0, 1, 2, 3, 4}, 3.0f, 2},  // on key 3: interval (2, 3)
      {{0, 1, 2, 3, 4}, 4.0f, 3},  // on the last key: n - 2
      {{0, 1, 2, 3, 4}, 4.5f, -1},
      // Six keys and more: binary steps first.
      {{0, 1, 2, 3, 4, 5}, 0.5f, 0},
      {{0, 1, 2, 3, 4, 5}, 4.5f, 4},
      {{0, 1, 2, 3, 4, 5}, 5.0f, 4},
      {{0, 1, 2, 3, 4, 5}, 6.0f, -1},
  };
  for (const Case& c : cases) {
    Vector3KeyTrack track;
    Fill(track, c.times);
    EXPECT_EQ(track.FindKey(c.time), c.expected) << c.times.size() << " keys at " << c.time;
  }

  // Against a brute-force search over a long track.
  Vector3KeyTrack track;
  std::vector<float> times;
  for (int i = 0; i < 100; ++i) times.push_back(0.1f * float(i));
  Fill(track, times);
  for (float t = -0.05f; t < 10.5f; t += 0.013f) {
    int32_t expected = -1;
    for (size_t i = 0; i < times.size(); ++i) {
      if (times[i] >= t) {
        expected = i > 0 ? int32_t(i - 1) : 0;
        break;
      }
    }
    EXPECT_EQ(track.FindKey(t), expected) << t;
  }
}

TEST_F(AnimTest, VectorTrackSamplesLinearlyAndHoldsTheLastKey) {
  Vector3KeyTrack track;
  track.AddKey(0.0f, Vector3(0, 0, 0));
  track.AddKey(2.0f, Vector3(4, 8, -2));
  ASSERT_TRUE(track.CreateLinearInterpolator());
  EXPECT_EQ(track.GetInterpolator()->GetType(), 1u);
  EXPECT_STREQ(track.GetInterpolator()->GetTypeString(), "LinearInterpolator");

  EXPECT_EQ(track.GetValueAtTime(0.5f), Vector3(1, 2, -0.5f));
  EXPECT_EQ(track.GetValueAtTime(2.0f), Vector3(4, 8, -2));   // t = 1 on the last key
  EXPECT_EQ(track.GetValueAtTime(3.0f), Vector3(4, 8, -2));   // past the end
  EXPECT_EQ(track.GetValueAtTime(-1.0f), Vector3(-2, -4, 1));  // extrapolated, not clamped

  int32_t cached = -1;
  EXPECT_EQ(track.GetValueAtTime(1.0f, &cached), Vector3(2, 4, -1));
  EXPECT_EQ(cached, 0);
  EXPECT_EQ(track.GetValueAtTime(1.5f, &cached), Vector3(3, 6, -1.5f));
}

TEST_F(AnimTest, OneKeyTrackGivesItsValueEverywhere) {
  Vector3KeyTrack track;
  track.AddKey(1.0f, Vector3(7, 8, 9));
  EXPECT_EQ(track.GetValueAtTime(0.0f), Vector3(7, 8, 9));
  EXPECT_EQ(track.GetValueAtTime(5.0f), Vector3(7, 8, 9));
  QuaternionKeyTrack empty;
  EXPECT_EQ(empty.GetValueAtTime(1.0f), Quaternion(0, 0, 0, 1));
}

TEST_F(AnimTest, ZeroWidthIntervalNeverGivesNaN) {
  Vector3KeyTrack track;
  track.AddKey(1.0f, Vector3(1, 1, 1));
  track.AddKey(1.0f, Vector3(5, 5, 5));
  track.AddKey(2.0f, Vector3(9, 9, 9));
  ASSERT_TRUE(track.CreateLinearInterpolator());
  for (float t : {0.5f, 1.0f}) {
    const Vector3 v = track.GetValueAtTime(t);
    EXPECT_FALSE(std::isnan(v.x)) << t;
    EXPECT_EQ(v, Vector3(5, 5, 5)) << t;  // the later of the two keys
  }
  // A cached interval of zero width.
  int32_t cached = 0;
  EXPECT_EQ(track.GetValueAtTime(1.0f, &cached), Vector3(5, 5, 5));
}

TEST_F(AnimTest, CachedSamplingGivesWhatUncachedSamplingGives) {
  // Neighbouring keys in opposite hemispheres and two keys at one time, where the
  // interval a time falls in decides the sign of the result: landing on key 1 from
  // a later interval must still blend keys 0 and 1, as FindKey says.
  QuaternionKeyTrack track;
  const float s = std::sqrt(0.5f);
  track.AddKey(0.0f, Quaternion(0, 0, 0, 1));
  track.AddKey(1.0f, Quaternion(0, -s, 0, -s));
  track.AddKey(2.0f, Quaternion(s, 0, 0, s));
  track.AddKey(2.0f, Quaternion(0, 0, -s, -s));
  track.AddKey(3.0f, Quaternion(0, 0, 0, 1));
  ASSERT_TRUE(track.CreateLinearInterpolator());
  int32_t cached = -1;
  for (float time : {0.5f, 1.0f, 1.5f, 1.0f, 0.0f, 2.0f, 2.5f, 2.0f, 1.5f, 3.0f, 3.5f, 2.9f, -1.0f}) {
    const Quaternion expected = track.GetValueAtTime(time);
    const Quaternion got = track.GetValueAtTime(time, &cached);
    EXPECT_EQ(std::memcmp(&expected, &got, sizeof(Quaternion)), 0) << "at " << time;
  }
}

TEST_F(AnimTest, QuaternionKeysAreCompressedAndBlendAlongTheShorterWay) {
  const Compressed16BitQuaternion identity(Quaternion(0, 0, 0, 1));
  EXPECT_EQ(identity, Compressed16BitQuaternion(0, 0, 0, 32767));
  const Compressed16BitQuaternion half(Quaternion(0.5f, -0.5f, 0.70710678f, 0.0f));
  EXPECT_EQ(half, Compressed16BitQuaternion(16383, -16383, 23169, 0));
  // Out of range values clamp instead of overflowing.
  EXPECT_EQ(Compressed16BitQuaternion(Quaternion(2.0f, -3.0f, NAN, 1.0f)),
            Compressed16BitQuaternion(32767, -32767, 0, 32767));
  // Back to floats: each component its own integer over 32767, signs and ends kept.
  const int16_t words[][4] = {{0, 0, 0, 32767}, {-32768, -32767, -1, 1}, {16383, -16383, 23169, 7}, {32767, 2, -2, -12345}};
  for (const auto& w : words) {
    const Quaternion q = Compressed16BitQuaternion(w[0], w[1], w[2], w[3]).ToQuaternion();
    const float f = 1.0f / 32767.0f;
    EXPECT_EQ(q.x, static_cast<float>(w[0]) * f);
    EXPECT_EQ(q.y, static_cast<float>(w[1]) * f);
    EXPECT_EQ(q.z, static_cast<float>(w[2]) * f);
    EXPECT_EQ(q.w, static_cast<float>(w[3]) * f);
  }

  QuaternionKeyTrack track;
  const float s = std::sqrt(0.5f);
  track.AddKey(0.0f, Quaternion(0, 0, 0, 1));
  track.AddKey(1.0f, Quaternion(0, -s, 0, -s));  // 90 degrees about y, other hemisphere
  ASSERT_TRUE(track.CreateLinearInterpolator());
  const Quaternion mid = track.GetValueAtTime(0.5f);
  // a (1 - t) - b t with b negated: (0, s/2, 0, 1/2 + s/2), computed in double.
  const double f = 1.0 / 32767.0;
  const double bw = -23169 * f;  // -s * 32767 truncated
  EXPECT_NEAR(mid.y, -0.5 * bw, 1e-6);
  EXPECT_NEAR(mid.w, 0.5 * (32767 * f) - 0.5 * bw, 1e-6);
  EXPECT_GT(mid.w, 0.8f);  // the short way keeps w large
}

TEST_F(AnimTest, FloatKeysStoreSixteenBitFractions) {
  EXPECT_EQ(Compressed16BitFloat(0.5f).value, 32767);
  EXPECT_EQ(Compressed16BitFloat(0.5f).ToFloat(), 32767.0f / 65535.0f);
  EXPECT_EQ(Compressed16BitFloat(1.0f).value, 65535);
  EXPECT_EQ(Compressed16BitFloat(-0.5f).value, 0);
  EXPECT_EQ(Compressed16BitFloat(1.5f).value, 65535);

  FloatKeyTrack track;
  track.AddKey(0.0f, 0.0f);
  track.AddKey(1.0f, 1.0f);
  ASSERT_TRUE(track.CreateLinearInterpolator());
  EXPECT_FLOAT_EQ(track.GetValueAtTime(0.25f), 0.25f);
}

TEST_F(AnimTest, InitShiftsTheTrackToStartAtZeroAndMakeLoopableAppendsTheFirstKey) {
  Vector3KeyTrack track;
  track.AddKey(0.2f, Vector3(1, 0, 0));
  track.AddKey(1.2f, Vector3(3, 0, 0));
  track.Init();
  EXPECT_FLOAT_EQ(track.GetFirstKey().time, 0.0f);
  EXPECT_FLOAT_EQ(track.GetLastKey().time, 1.0f);

  track.MakeLoopable(0.5f);
  ASSERT_EQ(track.GetNumKeys(), 3u);
  EXPECT_FLOAT_EQ(track.GetLastKey().time, 1.5f);
  EXPECT_EQ(track.GetLastKey().GetValue(), Vector3(1, 0, 0));

  QuaternionKeyTrack rotations;
  rotations.AddKey(0.0f, Quaternion(0, 0, 0, 1));
  rotations.MakeLoopable(0.3f);
  ASSERT_EQ(rotations.GetNumKeys(), 2u);
  // Expanded and compressed again: 32767 * (1 / 32767) * 32767 truncates to 32766 or
  // stays 32767, depending on the float rounding of the factor.
  const Compressed16BitQuaternion expected(Quaternion(0, 0, 0, 32767 * (1.0f / 32767.0f)));
  EXPECT_EQ(rotations.GetLastKey().GetStorageValue(), expected);

  Vector3KeyTrack empty;
  empty.MakeLoopable(1.0f);
  EXPECT_EQ(empty.GetNumKeys(), 0u);
}

}  // namespace
}  // namespace Anim
