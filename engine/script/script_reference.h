#pragma once

// The plain interpreter, one instruction at a time on full values, kept for
// tests: the machine's fast loop must leave the same stack, globals, pc and
// errors. It runs the instructions that need no library call (an opcode 23
// or 25 is reported as not supported) and ignores the shared variables.

#include <cstdint>

#include "engine/script/script.h"

constexpr const char* kReferenceMakesNoCalls = "The reference interpreter makes no calls.";

// Runs m from offset as cTarvelScript::Run would on a fresh call: 0 when
// the code returned, -1 at the end marker or when the budget ran out.
int ReferenceRun(cTarvelScript& m, uint32_t offset);
