#include "animation/core/polynomial_solvers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace AnimCore {
namespace {

struct Case {
  const char* name;
  std::vector<float> coefficients;  // ascending powers
  std::vector<float> roots;         // in the order the solver gives them
  float tolerance;
};

std::vector<float> Solve(const std::vector<float>& c) {
  float roots[4] = {};
  uint32_t n = 0;
  switch (c.size()) {
    case 3: n = SolveQuadratic(c.data(), roots); break;
    case 4: n = SolveCubic(c.data(), roots); break;
    default: n = SolveQuartic(c.data(), roots); break;
  }
  return std::vector<float>(roots, roots + n);
}

// Exactly the expected roots, in order.
void ExpectRoots(const Case& c) {
  const std::vector<float> roots = Solve(c.coefficients);
  ASSERT_EQ(roots.size(), c.roots.size()) << c.name;
  for (size_t i = 0; i < roots.size(); ++i) {
    EXPECT_NEAR(roots[i], c.roots[i], c.tolerance) << c.name << " root " << i;
  }
}

bool Contains(const std::vector<float>& values, float wanted, float tolerance) {
  return std::any_of(values.begin(), values.end(),
                     [&](float v) { return std::fabs(v - wanted) <= tolerance; });
}

// The same set of roots in any order; a double root may come once or twice.
void ExpectRootSet(const Case& c) {
  const std::vector<float> roots = Solve(c.coefficients);
  EXPECT_LE(roots.size(), 4u) << c.name;
  for (float root : roots) EXPECT_TRUE(Contains(c.roots, root, c.tolerance)) << c.name << " " << root;
  for (float root : c.roots) EXPECT_TRUE(Contains(roots, root, c.tolerance)) << c.name << " " << root;
}

TEST(PolynomialSolvers, RootsInTheOrderTheyAreProduced) {
  const Case cases[] = {
      {"x^2 - 1", {-1, 0, 1}, {1, -1}, 1e-6f},
      {"x^2 - 2x + 1", {1, -2, 1}, {1}, 1e-6f},
      {"x^2 + 1", {1, 0, 1}, {}, 0},
      {"2x^2 - 10x + 12", {12, -10, 2}, {3, 2}, 1e-6f},
      {"tiny leading 1e-7 (x^2 - 1)", {-1e-7f, 0, 1e-7f}, {1, -1}, 1e-6f},
      {"x^3 - 6x^2 + 11x - 6", {-6, 11, -6, 1}, {3, 2, 1}, 1e-4f},
      {"x^3", {0, 0, 0, 1}, {0}, 1e-6f},
      {"(x - 1)^2 (x - 2)", {-2, 5, -4, 1}, {2, 1}, 1e-4f},
      {"x^3 - 8", {-8, 0, 0, 1}, {1.99999f}, 1e-4f},
      {"x^3 + x + 10", {10, 1, 0, 1}, {-2}, 1e-4f},
      {"x^4 + 1", {1, 0, 0, 0, 1}, {}, 0},
  };
  for (const Case& c : cases) ExpectRoots(c);
}

TEST(PolynomialSolvers, QuarticRoots) {
  const Case cases[] = {
      {"x^4 - 5x^2 + 4", {4, 0, -5, 0, 1}, {-2, -1, 1, 2}, 1e-4f},
      // (x - 1)(x - 2)(x - 3)(x - 4)
      {"four roots shifted", {24, -50, 35, -10, 1}, {1, 2, 3, 4}, 1e-3f},
      {"two double roots (x - 1)^2 (x + 2)^2", {4, -4, -3, 2, 1}, {-2, 1}, 2e-3f},
      {"double root (x - 1)^2 (x - 2)(x + 3)", {-6, 13, -7, -1, 1}, {-3, 1, 2}, 2e-3f},
      {"quadruple root (x - 1)^4", {1, -4, 6, -4, 1}, {1}, 2e-2f},
      // x (x - 1)(x + 1)(x - 3): the root 0 comes through the resolvent
      {"root at zero", {0, 3, -1, -3, 1}, {-1, 0, 1, 3}, 1e-3f},
      // y^4 - y^2 = y^2 (y - 1)(y + 1): r is exactly zero
      {"zero r", {0, 0, -1, 0, 1}, {-1, 0, 0, 1}, 1e-4f},
      // (x^2 + 1)(x - 2)(x + 3): two real roots
      {"two real", {-6, 1, -5, 1, 1}, {-3, 2}, 1e-3f},
      {"(x^2 + 1)^2", {1, 0, 2, 0, 1}, {}, 0},
      {"0.5 (x^4 - 5x^2 + 4)", {2, 0, -2.5f, 0, 0.5f}, {-2, -1, 1, 2}, 1e-4f},
  };
  for (const Case& c : cases) ExpectRootSet(c);
}

TEST(PolynomialSolvers, ZeroLeadingCoefficientDropsADegree) {
  const Case cases[] = {
      {"quadratic as linear 2x - 4", {-4, 2, 0}, {2}, 1e-6f},
      {"quadratic with no x at all", {3, 0, 0}, {}, 0},
      {"cubic as quadratic", {-1, 0, 1, 0}, {1, -1}, 1e-6f},
      {"quartic as cubic", {-6, 11, -6, 1, 0}, {3, 2, 1}, 1e-4f},
  };
  for (const Case& c : cases) ExpectRoots(c);
}

TEST(PolynomialSolvers, CubeRoot) {
  EXPECT_NEAR(CubeRoot(8), 1.99999, 1e-5);
  EXPECT_LT(CubeRoot(8), 2.0f);  // the exponent is 0.333333, not a third
  EXPECT_NEAR(CubeRoot(-8), -1.99999, 1e-5);
  EXPECT_EQ(CubeRoot(0), 0.0f);
  EXPECT_NEAR(CubeRoot(0.001f), 0.1, 1e-5);
}

}  // namespace
}  // namespace AnimCore
