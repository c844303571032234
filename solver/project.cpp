// project.cpp - pressure projection: divergence, 20 Gauss-Seidel sweeps of
// the pressure, and subtraction of the pressure gradient, all obstacle-aware.
#include "fluid.hpp"

namespace fluid {

namespace {

// Grid spacing 1/126 and the divergence factor -0.5 * h, both as floats.
constexpr float h = 1.0f / 126.0f;
constexpr float k_div = -0.5f * h;
static_assert(h == 0.0079365084f && k_div == -0.003968254f);

// True when value points towards a solid neighbour: a negative value towards
// the cell at c - stride, a positive one towards c + stride. Zero never does.
inline bool towards_obstacle(double value, int c, int stride) {
    return (value < 0 && obstacle[c - stride] != 0) || (value > 0 && obstacle[c + stride] != 0);
}

}  // namespace

void project_velocity(float* U, float* V, float* P, float* DIV) {
    constexpr int S = GRID_SIDE;
    for (int i = 1; i <= GRID_INNER; ++i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            const int c = cell_index(i, j);
            if (obstacle[c] != 0) {
                DIV[c] = 0.0f;
            } else {
                float q = (float)(((((double)U[c + 1] - (double)U[c - 1]) + (double)V[c + S]) -
                                   (double)V[c - S]) *
                                  (double)k_div);
                if (towards_obstacle(q, c, 1)) q = -q;
                DIV[c] = q;
            }
            P[c] = 0.0f;
        }
    }
    apply_edges(DIV, EDGE_COPY);
    apply_edges(P, EDGE_COPY);

    for (int sweep = 0; sweep < 20; ++sweep) {
        for (int i = 1; i <= GRID_INNER; ++i) {
            for (int j = 1; j <= GRID_INNER; ++j) {
                const int c = cell_index(i, j);
                if (obstacle[c] != 0) {
                    P[c] = 0.0f;
                    continue;
                }
                float p = (float)((((((double)DIV[c] + (double)P[c - 1]) + (double)P[c + 1]) +
                                   (double)P[c - S]) +
                                  (double)P[c + S]) *
                                  0.25);
                if (towards_obstacle(p, c, S)) p = -p;
                P[c] = p;
            }
        }
        apply_edges(P, EDGE_COPY);
    }

    for (int i = 1; i <= GRID_INNER; ++i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            const int c = cell_index(i, j);
            if (obstacle[c] != 0) {
                U[c] = 0.0f;
                V[c] = 0.0f;
                continue;
            }
            const float g = (float)(0.5 * ((double)P[c + 1] - (double)P[c - 1]) / (double)h);
            U[c] = towards_obstacle(g, c, S) ? (float)((double)U[c] + (double)g)
                                             : (float)((double)U[c] - (double)g);
            const float g2 = (float)(0.5 * ((double)P[c + S] - (double)P[c - S]) / (double)h);
            V[c] = towards_obstacle(g2, c, 1) ? (float)((double)V[c] + (double)g2)
                                              : (float)((double)V[c] - (double)g2);
        }
    }
    apply_edges(U, EDGE_COPY);
    apply_edges(V, EDGE_COPY);
}

}  // namespace fluid
