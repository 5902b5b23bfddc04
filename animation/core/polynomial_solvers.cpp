#include "animation/core/polynomial_solvers.h"

#include <cmath>

namespace AnimCore {
namespace {

constexpr float kEpsilon = 1e-6f;
constexpr float kRelativeEpsilon = 1e-5f;
constexpr float kOneThird = 0.33333334f;
constexpr float kTwoTwentySevenths = 0.074074075f;
constexpr float kPiThirds = 1.0471976f;

bool IsZero(float v) { return v >= -kEpsilon && v <= kEpsilon; }

// Zero, or within the rounding of a difference of terms of the given magnitude.
bool IsNegligible(float v, float magnitude) {
  return IsZero(v) || std::fabs(v) <= kRelativeEpsilon * magnitude;
}

// c[1]x + c[0]; the last resort of a polynomial whose leading terms are all zero.
uint32_t SolveLinear(const float c[2], float roots[1]) {
  if (c[1] == 0.0f) return 0;
  roots[0] = -c[0] / c[1];
  return 1;
}

}  // namespace

float CubeRoot(float x) {
  if (x > 0.0f) return std::pow(x, 0.333333f);
  if (x < 0.0f) return -std::pow(-x, 0.333333f);
  return 0.0f;
}

uint32_t SolveQuadratic(const float c[3], float roots[2]) {
  if (c[2] == 0.0f) return SolveLinear(c, roots);
  const float p = c[1] / (2.0f * c[2]);
  const float q = c[0] / c[2];
  const float d = p * p - q;
  if (IsZero(d)) {
    roots[0] = -p;
    return 1;
  }
  if (d < 0.0f) return 0;
  const float sqrtD = std::sqrt(d);
  roots[0] = sqrtD - p;
  roots[1] = -sqrtD - p;
  return 2;
}

uint32_t SolveCubic(const float c[4], float roots[3]) {
  if (c[3] == 0.0f) return SolveQuadratic(c, roots);
  const float a = c[2] / c[3];
  const float b = c[1] / c[3];
  const float cc = c[0] / c[3];

  // x = y - a/3 gives y^3 + 3p y + 2q = 0.
  const float squareA = a * a;
  const float p = kOneThird * (-kOneThird * squareA + b);
  const float q = 0.5f * (kTwoTwentySevenths * a * squareA - kOneThird * a * b + cc);
  const float cubeP = p * p * p;
  const float d = q * q + cubeP;

  uint32_t numRoots;
  if (IsZero(d)) {
    if (IsZero(q)) {
      roots[0] = 0.0f;
      numRoots = 1;
    } else {
      const float u = CubeRoot(-q);
      roots[0] = 2.0f * u;
      roots[1] = -u;
      numRoots = 2;
    }
  } else if (d < 0.0f) {
    // Three real roots. Rounding can push the cosine a hair outside [-1, 1].
    float cosine = -q / std::sqrt(-cubeP);
    cosine = cosine > 1.0f ? 1.0f : (cosine < -1.0f ? -1.0f : cosine);
    const float phi = kOneThird * std::acos(cosine);
    const float t = 2.0f * std::sqrt(-p);
    roots[0] = t * std::cos(phi);
    roots[1] = -t * std::cos(phi + kPiThirds);
    roots[2] = -t * std::cos(phi - kPiThirds);
    numRoots = 3;
  } else {
    const float sqrtD = std::sqrt(d);
    roots[0] = CubeRoot(sqrtD - q) - CubeRoot(sqrtD + q);
    numRoots = 1;
  }

  const float shift = kOneThird * a;
  for (uint32_t i = 0; i < numRoots; ++i) roots[i] -= shift;
  return numRoots;
}

uint32_t SolveQuartic(const float c[5], float roots[4]) {
  if (c[4] == 0.0f) return SolveCubic(c, roots);
  const float a = c[3] / c[4];
  const float b = c[2] / c[4];
  const float cc = c[1] / c[4];
  const float d = c[0] / c[4];

  // x = y - a/4 gives y^4 + p y^2 + q y + r = 0.
  const float squareA = a * a;
  const float p = -0.375f * squareA + b;
  const float q = 0.125f * squareA * a - 0.5f * a * b + cc;
  const float r = -0.01171875f * squareA * squareA + 0.0625f * squareA * b - 0.25f * a * cc + d;

  uint32_t numRoots;
  if (IsZero(r)) {
    // y (y^3 + p y + q) = 0
    const float cubic[4] = {q, p, 0.0f, 1.0f};
    numRoots = SolveCubic(cubic, roots);
    roots[numRoots++] = 0.0f;
  } else {
    // Resolvent cubic; any one of its roots will do, the first is taken.
    const float resolvent[4] = {0.5f * r * p - 0.125f * q * q, -r, -0.5f * p, 1.0f};
    float cubicRoots[3];
    SolveCubic(resolvent, cubicRoots);
    const float z = cubicRoots[0];

    // u and v come from differences of terms that carry the rounding of z, so near
    // a double root they miss zero by more than the absolute tolerance; judged by
    // the size of those terms, such a miss is zero too, not "no real root".
    float u = z * z - r;
    float v = 2.0f * z - p;
    if (IsNegligible(u, std::fmax(z * z, std::fabs(r)))) {
      u = 0.0f;
    } else if (u > 0.0f) {
      u = std::sqrt(u);
    } else {
      return 0;
    }
    if (IsNegligible(v, std::fmax(std::fabs(2.0f * z), std::fabs(p)))) {
      v = 0.0f;
    } else if (v > 0.0f) {
      v = std::sqrt(v);
    } else {
      return 0;
    }

    const float first[3] = {z - u, q < 0.0f ? -v : v, 1.0f};
    numRoots = SolveQuadratic(first, roots);
    const float second[3] = {z + u, q < 0.0f ? v : -v, 1.0f};
    numRoots += SolveQuadratic(second, roots + numRoots);
  }

  const float shift = 0.25f * a;
  for (uint32_t i = 0; i < numRoots; ++i) roots[i] -= shift;
  return numRoots;
}

}  // namespace AnimCore
