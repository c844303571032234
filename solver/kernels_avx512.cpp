// kernels_avx512.cpp - the kernel set built for AVX-512F, 8 doubles per vector.
#define LANES 8
#define KERNEL_NAMESPACE avx512
#define KERNEL_X86 1
#include "kernels_impl.hpp"

namespace fluid::detail {

const KernelSet kernels_avx512 = avx512::kernel_set;

double avx512_quotient(double num, double den) {
    return avx512::divide_for_float(avx512::splat(num), avx512::splat(den),
                                    avx512::splat(1.0 / den))[0];
}

}  // namespace fluid::detail
