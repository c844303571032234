// kernels_avx512.cpp - the kernel set built for AVX-512F, 8 doubles per vector.
#define LANES 8
#define KERNEL_NAMESPACE avx512
#include "kernels_impl.hpp"

namespace fluid::detail {

const KernelSet kernels_avx512 = avx512::kernel_set;

}  // namespace fluid::detail
