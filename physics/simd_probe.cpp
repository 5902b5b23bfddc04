#include "physics/simd_probe.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

bool HasSimdUnit()
{
#if defined(__SSE__)
#if defined(__i386__)
    if (!__builtin_cpu_supports("sse")) {
        return false;
    }
#endif
    alignas(16) float buffer[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    alignas(16) float copy[4];
    _mm_store_ps(copy, _mm_add_ss(_mm_load_ps(buffer), _mm_setzero_ps()));
    return copy[0] == 0.0f;
#else
    return false;
#endif
}

std::size_t GetSimdSolverWorkspaceSize() { return 3250944; }
