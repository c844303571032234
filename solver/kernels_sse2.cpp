// kernels_sse2.cpp - the kernel set built for SSE2, 2 doubles per vector.
#define LANES 2
#define KERNEL_NAMESPACE sse2
#define KERNEL_X86 1
#include "kernels_impl.hpp"

namespace fluid::detail {

const KernelSet kernels_sse2 = sse2::kernel_set;

}  // namespace fluid::detail
