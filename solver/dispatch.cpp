// dispatch.cpp - picks the kernel set for the CPU at run time. On x86-64 the
// widest of SSE2, AVX2 and AVX-512F the CPU supports; elsewhere the portable
// set, the only one built.
#include "kernels.hpp"

namespace fluid::detail {

namespace {

Isa detect() {
#if FLUIDS_X86_KERNELS
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return Isa::avx512;
    if (__builtin_cpu_supports("avx2")) return Isa::avx2;
    return Isa::sse2;
#else
    return Isa::portable;
#endif
}

const KernelSet* set_for(Isa level) {
    switch (level) {
#if FLUIDS_X86_KERNELS
        case Isa::avx512:
            return &kernels_avx512;
        case Isa::avx2:
            return &kernels_avx2;
        case Isa::sse2:
            return &kernels_sse2;
#endif
        default:
            break;
    }
    return &kernels_portable;
}

Isa& current() {
    static Isa level = best_isa();
    return level;
}

}  // namespace

Isa best_isa() {
    static const Isa level = detect();
    return level;
}

Isa active_isa() {
    return current();
}

Isa force_isa(Isa level) {
    current() = static_cast<int>(level) > static_cast<int>(best_isa()) ? best_isa() : level;
    return current();
}

const KernelSet& kernels() {
    return *set_for(current());
}

const char* isa_name(Isa level) {
    switch (level) {
        case Isa::avx512:
            return "avx512";
        case Isa::avx2:
            return "avx2";
        case Isa::sse2:
            return "sse2";
        case Isa::portable:
            break;
    }
    return "portable";
}

}  // namespace fluid::detail
