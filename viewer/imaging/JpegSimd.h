// The run-time choice of instruction set for the encoder's vector code: a function marked
// VELTRANE_SIMD_CLONES is compiled once for AVX2 and once for the baseline, and the loader binds
// the one the processor can run. The vector helpers such functions use are inlined into them, so
// the ABI note about passing wide vectors without AVX does not apply. (An AVX-512 clone of the
// transform measured 12 % slower than the AVX2 one on a processor that has both.)
#pragma once

#pragma GCC diagnostic ignored "-Wpsabi"

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define VELTRANE_SIMD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELTRANE_SIMD_CLONES
#endif
