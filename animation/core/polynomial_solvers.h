#pragma once

#include <cstdint>

namespace AnimCore {

// Real roots of polynomials of degree 2 to 4 in closed form. Coefficients are in
// ascending order of power (c[0] + c[1]x + ...); roots are written from roots[0] in
// the order the solution produces them, unsorted, a repeated root possibly more than
// once. Values within 1e-6 of zero count as zero. Only an exactly zero leading
// coefficient drops to the lower degree; a tiny one is solved as given.

// x^0.333333 with the sign of x.
float CubeRoot(float x);
// roots: room for 2. Returns 0 to 2.
uint32_t SolveQuadratic(const float c[3], float roots[2]);
// roots: room for 3. Returns 1 to 3 (0 only for a degenerate lower degree).
uint32_t SolveCubic(const float c[4], float roots[3]);
// roots: room for 4. Returns 0 to 4.
uint32_t SolveQuartic(const float c[5], float roots[4]);

}  // namespace AnimCore
