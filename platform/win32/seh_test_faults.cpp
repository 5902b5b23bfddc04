// Real faults for the guard's tests, built without sanitizers so the
// signal, not a sanitizer report, is what happens.
#include "platform/win32/seh_test_faults.h"

namespace seh_test {

int ReadFrom(const void* address) { return *static_cast<const volatile int*>(address); }

void WriteTo(void* address) { *static_cast<volatile int*>(address) = 1; }

void IllegalInstruction() { __builtin_trap(); }

int DivideByZero() {
  volatile int a = 1;
  volatile int b = 0;
  return a / b;
}

int Recurse(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  if (depth < 0) return 0;  // never: the stack runs out first
  return Recurse(depth + 1) + frame[0];  // not a tail call: every frame stays
}

}  // namespace seh_test
