// reference_solver.cpp - see reference_solver.hpp. Deliberately literal.
#include "reference_solver.hpp"

namespace reference {

void apply_edges(float* x, int edge_mode) {
    if (edge_mode != 0) {
        for (int k = 1; k <= 126; ++k) {
            x[idx(0, k)] = 0;
            x[idx(127, k)] = 0;
            x[idx(k, 0)] = 0;
            x[idx(k, 127)] = 0;
        }
        x[idx(0, 0)] = 0;
        x[idx(0, 127)] = 0;
        x[idx(127, 0)] = 0;
        x[idx(127, 127)] = 0;
        return;
    }
    for (int k = 1; k <= 126; ++k) {
        x[idx(0, k)] = x[idx(1, k)];
        x[idx(127, k)] = x[idx(126, k)];
        x[idx(k, 0)] = x[idx(k, 1)];
        x[idx(k, 127)] = x[idx(k, 126)];
    }
    x[idx(0, 0)] = (float)(0.5 * ((double)x[idx(0, 1)] + (double)x[idx(1, 0)]));
    x[idx(0, 127)] = (float)(0.5 * ((double)x[idx(0, 126)] + (double)x[idx(1, 127)]));
    x[idx(127, 0)] = (float)(0.5 * ((double)x[idx(127, 1)] + (double)x[idx(126, 0)]));
    x[idx(127, 127)] = (float)(0.5 * ((double)x[idx(127, 126)] + (double)x[idx(126, 127)]));
}

void accumulate_source(float* target, const float* source, float dt) {
    for (int k = 0; k < SIZE; ++k) {
        target[k] = (float)((double)target[k] + (double)dt * (double)source[k]);
    }
}

void diffuse_field(const std::int32_t* obstacle, const float* x0, float* x, int edge_mode,
                   float rate, float dt) {
    float a = (float)((((double)rate * (double)dt) * 126.0) * 126.0);
    for (int sweep = 0; sweep < 20; ++sweep) {
        for (int i = 1; i <= 126; ++i) {
            for (int j = 1; j <= 126; ++j) {
                int c = idx(i, j);
                if (obstacle[c] != 0) {
                    x[c] = 0;
                } else {
                    double sum = (((double)x[c - 1] + (double)x[c + 1]) + (double)x[c - 128]) +
                                 (double)x[c + 128];
                    x[c] = (float)(((double)x0[c] + (double)a * sum) / ((double)a * 4.0 + 1.0));
                }
            }
        }
        apply_edges(x, edge_mode);
    }
}

void advect_field(const std::int32_t* obstacle, float* d, const float* d0, const float* U,
                  const float* V, int edge_mode, float dt) {
    float dt0 = (float)((double)dt * 126.0);
    const double lo = 0.5;
    const double hi = 126.5;
    for (int i = 1; i <= 126; ++i) {
        for (int j = 1; j <= 126; ++j) {
            int c = idx(i, j);
            if (obstacle[c] != 0) {
                d[c] = 0;
                continue;
            }
            float x = (float)((double)i - (double)dt0 * (double)U[c]);
            float y = (float)((double)j - (double)dt0 * (double)V[c]);
            if (x < lo) x = (float)lo;
            if (x > hi) x = (float)hi;
            if (y < lo) y = (float)lo;
            if (y > hi) y = (float)hi;
            // A NaN coordinate passes both clamps; it is taken as the low bound.
            if (x != x) x = (float)lo;
            if (y != y) y = (float)lo;
            int i0 = (int)x;
            int j0 = (int)y;
            float s1 = (float)((double)x - (double)i0);
            float s0 = (float)(1.0 - (double)s1);
            float t1 = (float)((double)y - (double)j0);
            float t0 = (float)(1.0 - (double)t1);
            float w = (float)((double)s0 * ((double)t0 * (double)d0[idx(i0, j0)] +
                                            (double)t1 * (double)d0[idx(i0, j0 + 1)]) +
                              (double)s1 * ((double)t0 * (double)d0[idx(i0 + 1, j0)] +
                                            (double)t1 * (double)d0[idx(i0 + 1, j0 + 1)]));
            if (edge_mode == 1) {
                if ((w < 0 && obstacle[c - 128] != 0) || (w > 0 && obstacle[c + 128] != 0)) {
                    w = -w;
                }
            }
            d[c] = w;
        }
    }
    apply_edges(d, edge_mode);
}

void project_velocity(const std::int32_t* obstacle, float* U, float* V, float* P, float* DIV) {
    const float h = 1.0f / 126.0f;
    const float k_div = -0.5f * h;
    for (int i = 1; i <= 126; ++i) {
        for (int j = 1; j <= 126; ++j) {
            int c = idx(i, j);
            if (obstacle[c] != 0) {
                DIV[c] = 0;
            } else {
                float q = (float)(((((double)U[c + 1] - (double)U[c - 1]) + (double)V[c + 128]) -
                                   (double)V[c - 128]) *
                                  (double)k_div);
                if ((q < 0 && obstacle[c - 1] != 0) || (q > 0 && obstacle[c + 1] != 0)) q = -q;
                DIV[c] = q;
            }
            P[c] = 0;
        }
    }
    apply_edges(DIV, 0);
    apply_edges(P, 0);
    for (int sweep = 0; sweep < 20; ++sweep) {
        for (int i = 1; i <= 126; ++i) {
            for (int j = 1; j <= 126; ++j) {
                int c = idx(i, j);
                if (obstacle[c] != 0) {
                    P[c] = 0;
                } else {
                    float p = (float)((((((double)DIV[c] + (double)P[c - 1]) + (double)P[c + 1]) +
                                       (double)P[c - 128]) +
                                      (double)P[c + 128]) *
                                      0.25);
                    if ((p < 0 && obstacle[c - 128] != 0) || (p > 0 && obstacle[c + 128] != 0))
                        p = -p;
                    P[c] = p;
                }
            }
        }
        apply_edges(P, 0);
    }
    for (int i = 1; i <= 126; ++i) {
        for (int j = 1; j <= 126; ++j) {
            int c = idx(i, j);
            if (obstacle[c] != 0) {
                U[c] = 0;
                V[c] = 0;
                continue;
            }
            float g = (float)(0.5 * ((double)P[c + 1] - (double)P[c - 1]) / (double)h);
            if ((g < 0 && obstacle[c - 128] != 0) || (g > 0 && obstacle[c + 128] != 0))
                U[c] = (float)((double)U[c] + (double)g);
            else
                U[c] = (float)((double)U[c] - (double)g);
            float g2 = (float)(0.5 * ((double)P[c + 128] - (double)P[c - 128]) / (double)h);
            if ((g2 < 0 && obstacle[c - 1] != 0) || (g2 > 0 && obstacle[c + 1] != 0))
                V[c] = (float)((double)V[c] + (double)g2);
            else
                V[c] = (float)((double)V[c] - (double)g2);
        }
    }
    apply_edges(U, 0);
    apply_edges(V, 0);
}

void step_velocity(State& s, float viscosity, float dt) {
    accumulate_source(s.u, s.u_src, dt);
    accumulate_source(s.v, s.v_src, dt);
    diffuse_field(s.obstacle, s.u, s.u_src, 0, viscosity, dt);
    diffuse_field(s.obstacle, s.v, s.v_src, 0, viscosity, dt);
    project_velocity(s.obstacle, s.u_src, s.v_src, s.u, s.v);
    advect_field(s.obstacle, s.u, s.u_src, s.u_src, s.v_src, 0, dt);
    advect_field(s.obstacle, s.v, s.v_src, s.u_src, s.v_src, 0, dt);
    project_velocity(s.obstacle, s.u, s.v, s.u_src, s.v_src);
}

void step_density(State& s, float rate, float dt) {
    accumulate_source(s.density, s.density_src, dt);
    diffuse_field(s.obstacle, s.density, s.density_src, 1, rate, dt);
    advect_field(s.obstacle, s.density, s.density_src, s.u, s.v, 1, dt);
}

float total_density(const float* density) {
    float total = 0;
    for (int i = 126; i >= 1; --i) {
        for (int j = 1; j <= 126; ++j) {
            total = (float)((double)total + (double)density[idx(i, j)]);
        }
    }
    return total;
}

}  // namespace reference
