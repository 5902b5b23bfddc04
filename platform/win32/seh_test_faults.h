#pragma once

namespace seh_test {

int ReadFrom(const void* address);
void WriteTo(void* address);
void IllegalInstruction();
int DivideByZero();
int Recurse(int depth);

}  // namespace seh_test
