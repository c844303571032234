// advect.cpp - semi-Lagrangian advection: every interior fluid cell takes the
// value found by tracing back along the velocity and sampling bilinearly.
#include "fluid.hpp"
#include "kernels.hpp"

namespace fluid {

void advect_field(float* d, const float* d0, const float* U, const float* V, int edge_mode,
                  float dt) {
    // Every fluid cell traces back by dt0 = dt * 126 (stored as float) and
    // samples d0 bilinearly. A traced coordinate is clamped to [0.5, 126.5];
    // the clamps send +inf to the high bound and -inf to the low one, and a
    // NaN, which passes both, is taken as the low bound, so the truncation to
    // the sample cell is always defined.
    const float dt0 = (float)((double)dt * 126.0);
    detail::kernels().advect(d, d0, U, V, edge_mode, dt0);
}

void advect_two_fields(float* d1, const float* d01, float* d2, const float* d02, const float* U,
                       const float* V, int edge_mode, float dt) {
    // The traced positions and weights depend on the velocity alone, so the
    // two fields share them.
    const float dt0 = (float)((double)dt * 126.0);
    detail::kernels().advect_two(d1, d01, d2, d02, U, V, edge_mode, dt0);
}

}  // namespace fluid
