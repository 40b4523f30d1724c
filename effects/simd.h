// Whether the kernels use SSE2 (every x86-64 target has it). The plain loops
// that follow each SSE2 part finish what it leaves and are the whole kernel
// where SSE2 is absent, or when VOXOTROPE_NO_SIMD is defined to test them.
#pragma once
#if defined(__SSE2__) && !defined(VOXOTROPE_NO_SIMD)
#define VOXOTROPE_SSE2 1
#include <emmintrin.h>
#else
#define VOXOTROPE_SSE2 0
#endif
