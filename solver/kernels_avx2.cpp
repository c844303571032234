// kernels_avx2.cpp - the kernel set built for AVX2, 4 doubles per vector.
#define LANES 4
#define KERNEL_NAMESPACE avx2
#define KERNEL_X86 1
#include "kernels_impl.hpp"

namespace fluid::detail {

const KernelSet kernels_avx2 = avx2::kernel_set;

}  // namespace fluid::detail
