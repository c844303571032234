// dispatch.cpp - picks the kernel set for the CPU at run time.
#include "kernels.hpp"

namespace fluid::detail {

namespace {

Isa detect() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return Isa::avx512;
    if (__builtin_cpu_supports("avx2")) return Isa::avx2;
    return Isa::sse2;
}

const KernelSet* set_for(Isa level) {
    switch (level) {
        case Isa::avx512:
            return &kernels_avx512;
        case Isa::avx2:
            return &kernels_avx2;
        case Isa::sse2:
            break;
    }
    return &kernels_sse2;
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
            break;
    }
    return "sse2";
}

}  // namespace fluid::detail
