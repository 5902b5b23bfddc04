// Core maths of the animation library against plain loops on the same data. Each
// pair reports items per second; the ratio is the figure that matters.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "animation/core/matrix.h"
#include "animation/core/quaternion.h"

namespace {

constexpr size_t kCount = 1024;

std::vector<AnimCore::Matrix> MakeMatrices(unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
  std::uniform_real_distribution<float> offset(-10.0f, 10.0f);
  std::vector<AnimCore::Matrix> matrices(kCount);
  for (AnimCore::Matrix& m : matrices) {
    m.SetRotationMatrixAxisAngle(AnimCore::Vector3(angle(random), angle(random), angle(random)),
                                 angle(random));
    for (int i = 0; i < 3; ++i) m.m16[4 * i + i] *= 1.0f + 0.1f * std::fabs(angle(random));
    m.m16[12] = offset(random);
    m.m16[13] = offset(random);
    m.m16[14] = offset(random);
  }
  return matrices;
}

std::vector<AnimCore::Quaternion> MakeQuaternions() {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> component(-1.0f, 1.0f);
  std::vector<AnimCore::Quaternion> quaternions(kCount);
  for (AnimCore::Quaternion& q : quaternions) {
    q = AnimCore::Quaternion(component(random), component(random), component(random),
                             component(random))
            .Normalized();
  }
  return quaternions;
}

void MatrixMultiply(benchmark::State& state) {
  const auto a = MakeMatrices(1);
  const auto b = MakeMatrices(2);
  std::vector<AnimCore::Matrix> out(kCount);
  for (auto _ : state) {
    for (size_t i = 0; i < kCount; ++i) out[i] = a[i] * b[i];
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kCount));
}
BENCHMARK(MatrixMultiply);

// Baseline: the textbook triple loop over the same row-major floats.
void MatrixMultiplyBaselineLoop(benchmark::State& state) {
  const auto a = MakeMatrices(1);
  const auto b = MakeMatrices(2);
  std::vector<AnimCore::Matrix> out(kCount);
  for (auto _ : state) {
    for (size_t n = 0; n < kCount; ++n) {
      const float* l = a[n].m16;
      const float* r = b[n].m16;
      float* o = out[n].m16;
      for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
          float sum = 0.0f;
          for (int k = 0; k < 4; ++k) sum += l[4 * i + k] * r[4 * k + j];
          o[4 * i + j] = sum;
        }
      }
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kCount));
}
BENCHMARK(MatrixMultiplyBaselineLoop);

void QuaternionToMatrix(benchmark::State& state) {
  const auto q = MakeQuaternions();
  std::vector<AnimCore::Matrix> out(kCount);
  for (auto _ : state) {
    for (size_t i = 0; i < kCount; ++i) out[i] = q[i].ToMatrix();
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kCount));
}
BENCHMARK(QuaternionToMatrix);

// Baseline: rotate the three axes one by one with q v q* in a plain loop.
void QuaternionToMatrixBaselineLoop(benchmark::State& state) {
  const auto q = MakeQuaternions();
  std::vector<AnimCore::Matrix> out(kCount);
  for (auto _ : state) {
    for (size_t n = 0; n < kCount; ++n) {
      const AnimCore::Quaternion& r = q[n];
      float* o = out[n].m16;
      for (int axis = 0; axis < 3; ++axis) {
        const AnimCore::Quaternion v(axis == 0 ? 1.0f : 0.0f, axis == 1 ? 1.0f : 0.0f,
                                     axis == 2 ? 1.0f : 0.0f, 0.0f);
        const AnimCore::Quaternion rotated = r * v * r.Conjugate();
        o[4 * axis] = rotated.x;
        o[4 * axis + 1] = rotated.y;
        o[4 * axis + 2] = rotated.z;
        o[4 * axis + 3] = 0.0f;
      }
      o[12] = o[13] = o[14] = 0.0f;
      o[15] = 1.0f;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kCount));
}
BENCHMARK(QuaternionToMatrixBaselineLoop);

void MatrixInverse(benchmark::State& state) {
  const auto a = MakeMatrices(3);
  std::vector<AnimCore::Matrix> out(kCount);
  for (auto _ : state) {
    for (size_t i = 0; i < kCount; ++i) out[i] = a[i].Inversed();
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kCount));
}
BENCHMARK(MatrixInverse);

// Baseline: Gauss-Jordan elimination with partial pivoting in a plain loop.
void MatrixInverseBaselineLoop(benchmark::State& state) {
  const auto a = MakeMatrices(3);
  std::vector<AnimCore::Matrix> out(kCount);
  for (auto _ : state) {
    for (size_t n = 0; n < kCount; ++n) {
      float w[4][8];
      for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
          w[r][c] = a[n].m16[4 * r + c];
          w[r][c + 4] = (r == c) ? 1.0f : 0.0f;
        }
      }
      for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
          if (std::fabs(w[r][col]) > std::fabs(w[pivot][col])) pivot = r;
        if (pivot != col) {
          float t[8];
          std::memcpy(t, w[col], sizeof(t));
          std::memcpy(w[col], w[pivot], sizeof(t));
          std::memcpy(w[pivot], t, sizeof(t));
        }
        const float inv = 1.0f / w[col][col];
        for (int c = 0; c < 8; ++c) w[col][c] *= inv;
        for (int r = 0; r < 4; ++r) {
          if (r == col) continue;
          const float f = w[r][col];
          for (int c = 0; c < 8; ++c) w[r][c] -= f * w[col][c];
        }
      }
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[n].m16[4 * r + c] = w[r][c + 4];
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kCount));
}
BENCHMARK(MatrixInverseBaselineLoop);

}  // namespace
