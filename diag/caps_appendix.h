// The report's appendix of Direct3D 9 capabilities of the default adapter.
#pragma once

#include <cstdio>

// Makes and releases its own Direct3D object; writes to `out`.
void WriteCapsAppendix(FILE* out);
