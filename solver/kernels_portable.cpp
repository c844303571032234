// kernels_portable.cpp - the kernel set in plain vector code, 2 doubles per
// vector, built on every architecture (NEON on arm64, SSE2 on x86-64, what
// the target has elsewhere) with the default flags of the target.
#define LANES 2
#define KERNEL_NAMESPACE portable
#include "kernels_impl.hpp"

namespace fluid::detail {

const KernelSet kernels_portable = portable::kernel_set;

}  // namespace fluid::detail
