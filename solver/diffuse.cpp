// diffuse.cpp - source accumulation and implicit diffusion.
#include "fluid.hpp"
#include "kernels.hpp"

namespace fluid {

void accumulate_source(float* target, const float* source, float dt) {
    detail::kernels().accumulate_source(target, source, dt);
}

void diffuse_field(const float* x0, float* x, int edge_mode, float rate, float dt) {
    const float a = (float)((((double)rate * (double)dt) * 126.0) * 126.0);
    // A coefficient of +0 (the velocity step, viscosity 0) makes every sweep
    // a copy of x0 in most states; that case needs no sweeps.
    if (a == 0.0f && !__builtin_signbit(a) && detail::diffuse_at_rate_zero(x0, x, edge_mode)) {
        return;
    }
    // 20 in-place ascending Gauss-Seidel sweeps, each followed by the edge
    // rule, with cell values computed in double and stored as float.
    detail::kernels().diffuse(x0, x, edge_mode, a);
}

}  // namespace fluid
