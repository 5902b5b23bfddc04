#pragma once

#include <cstddef>

// True when the processor runs the 4-wide float instructions the vector
// solver build uses.
bool HasSimdUnit();

// Working memory of the vector solver build.
std::size_t GetSimdSolverWorkspaceSize();
