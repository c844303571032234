// kernels.hpp - internal: the vectorised kernel sets and their run-time
// selection by instruction-set level.
#pragma once

#include "fluid.hpp"  // with it the fast-math guard, in every solver source

namespace fluid::detail {

/// Instruction-set levels with a kernel set, lowest first. Every build has
/// the portable set; the others exist on x86-64 only.
enum class Isa { portable = 0, sse2 = 1, avx2 = 2, avx512 = 3 };

/// Whether this build has the x86-64 kernel sets and their run-time choice.
#if defined(__x86_64__)
#define FLUIDS_X86_KERNELS 1
#else
#define FLUIDS_X86_KERNELS 0
#endif

/// One implementation of the heavy kernels for one instruction-set level.
struct KernelSet {
    /// target[k] += dt * source[k] over all cells.
    void (*accumulate_source)(float* target, const float* source, float dt);
    /// The 20 diffusion sweeps with the stored coefficient a (any value).
    void (*diffuse)(const float* x0, float* x, int edge_mode, float a);
    /// Advection with the stored dt0 = dt * 126.
    void (*advect)(float* d, const float* d0, const float* U, const float* V, int edge_mode,
                   float dt0);
    /// Two advections along the same velocity in one pass, same dt0.
    void (*advect_two)(float* d1, const float* d01, float* d2, const float* d02, const float* U,
                       const float* V, int edge_mode, float dt0);
    /// The whole projection.
    void (*project)(float* U, float* V, float* P, float* DIV);
};

/// Kernel set in plain vector code, for any architecture.
extern const KernelSet kernels_portable;
#if FLUIDS_X86_KERNELS
/// Kernel set built for SSE2 (every x86-64 CPU).
extern const KernelSet kernels_sse2;
/// Kernel set built for AVX2.
extern const KernelSet kernels_avx2;
/// Kernel set built for AVX-512F.
extern const KernelSet kernels_avx512;

/// num / den for den in (1, 1e300) as the AVX-512 diffusion computes it
/// (through the reciprocal where that gives the same float); only for tests
/// on CPUs with AVX-512F.
double avx512_quotient(double num, double den);
#endif

/// The highest level this CPU and OS support.
Isa best_isa();
/// The level in use (the best one unless forced).
Isa active_isa();
/// Uses the given level from now on, capped at best_isa(); for tests and
/// benchmarks. Returns the level actually selected.
Isa force_isa(Isa level);
/// The kernel set of the level in use.
const KernelSet& kernels();
/// Short name of a level ("portable", "sse2", "avx2", "avx512").
const char* isa_name(Isa level);

/// Rate-0 diffusion without sweeping, exact where it applies; returns false
/// (leaving x untouched) when the state needs the full sweeps.
bool diffuse_at_rate_zero(const float* x0, float* x, int edge_mode);

}  // namespace fluid::detail
