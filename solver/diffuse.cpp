// diffuse.cpp - source accumulation and implicit diffusion.
#include "fluid.hpp"

namespace fluid {

void accumulate_source(float* target, const float* source, float dt) {
    const double step = dt;
    for (int k = 0; k < FIELD_SIZE; ++k) {
        target[k] = (float)((double)target[k] + step * (double)source[k]);
    }
}

void diffuse_field(const float* x0, float* x, int edge_mode, float rate, float dt) {
    const float a = (float)((((double)rate * (double)dt) * 126.0) * 126.0);
    const double da = a;
    const double denominator = da * 4.0 + 1.0;
    for (int sweep = 0; sweep < 20; ++sweep) {
        // In place and ascending: (i - 1, j) and (i, j - 1) already hold
        // this sweep's values when (i, j) is computed.
        for (int i = 1; i <= GRID_INNER; ++i) {
            for (int j = 1; j <= GRID_INNER; ++j) {
                const int c = cell_index(i, j);
                if (obstacle[c] != 0) {
                    x[c] = 0.0f;
                    continue;
                }
                const double sum =
                    (((double)x[c - 1] + (double)x[c + 1]) + (double)x[c - GRID_SIDE]) +
                    (double)x[c + GRID_SIDE];
                x[c] = (float)(((double)x0[c] + da * sum) / denominator);
            }
        }
        apply_edges(x, edge_mode);
    }
}

}  // namespace fluid
