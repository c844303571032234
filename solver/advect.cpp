// advect.cpp - semi-Lagrangian advection: every interior fluid cell takes the
// value found by tracing back along the velocity and sampling bilinearly.
#include "fluid.hpp"

namespace fluid {

namespace {

// Brings a traced coordinate into [0.5, 126.5]. The two clamps send +inf to
// the high bound and -inf to the low one; a NaN passes both and is taken as
// the low bound, so the truncation that follows is always defined.
float clamp_coordinate(float x) {
    constexpr double lo = 0.5;
    constexpr double hi = 126.5;
    if (x < lo) x = (float)lo;
    if (x > hi) x = (float)hi;
    if (!(x >= lo)) x = (float)lo;
    return x;
}

}  // namespace

void advect_field(float* d, const float* d0, const float* U, const float* V, int edge_mode,
                  float dt) {
    const float dt0 = (float)((double)dt * 126.0);
    for (int i = 1; i <= GRID_INNER; ++i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            const int c = cell_index(i, j);
            if (obstacle[c] != 0) {
                d[c] = 0.0f;
                continue;
            }
            const float x = clamp_coordinate((float)((double)i - (double)dt0 * (double)U[c]));
            const float y = clamp_coordinate((float)((double)j - (double)dt0 * (double)V[c]));
            const int i0 = (int)x;
            const int j0 = (int)y;
            const float s1 = (float)((double)x - (double)i0);
            const float s0 = (float)(1.0 - (double)s1);
            const float t1 = (float)((double)y - (double)j0);
            const float t0 = (float)(1.0 - (double)t1);
            float w = (float)((double)s0 * ((double)t0 * (double)d0[cell_index(i0, j0)] +
                                            (double)t1 * (double)d0[cell_index(i0, j0 + 1)]) +
                              (double)s1 * ((double)t0 * (double)d0[cell_index(i0 + 1, j0)] +
                                            (double)t1 * (double)d0[cell_index(i0 + 1, j0 + 1)]));
            // Zero edge mode turns the value away from an obstacle along j.
            if (edge_mode == EDGE_ZERO && ((w < 0 && obstacle[c - GRID_SIDE] != 0) ||
                                           (w > 0 && obstacle[c + GRID_SIDE] != 0))) {
                w = -w;
            }
            d[c] = w;
        }
    }
    apply_edges(d, edge_mode);
}

}  // namespace fluid
