// reference_solver.hpp - a plain, literal implementation of the solver.
//
// Written straight from the numerical rules with no cleverness: every
// expression is evaluated in double and rounded to float where it is stored,
// loops run in the documented order, sweeps are in place and ascending. The
// optimised kernels of solver/ are checked against it bit for bit, so it
// must never be "improved".
#pragma once

#include <cstdint>

namespace reference {

inline constexpr int N = 128;       // cells per side, ring included
inline constexpr int SIZE = N * N;  // values per field

constexpr int idx(int i, int j) { return i + N * j; }

/// One complete simulation state with its own storage.
struct State {
    float u[SIZE];
    float v[SIZE];
    float u_src[SIZE];
    float v_src[SIZE];
    float density[SIZE];
    float density_src[SIZE];
    std::int32_t obstacle[SIZE];
};

void apply_edges(float* x, int edge_mode);
void accumulate_source(float* target, const float* source, float dt);
void diffuse_field(const std::int32_t* obstacle, const float* x0, float* x, int edge_mode,
                   float rate, float dt);
void advect_field(const std::int32_t* obstacle, float* d, const float* d0, const float* U,
                  const float* V, int edge_mode, float dt);
void project_velocity(const std::int32_t* obstacle, float* U, float* V, float* P, float* DIV);
void step_velocity(State& s, float viscosity, float dt);
void step_density(State& s, float rate, float dt);

/// Interior density summed row by row from i = 126 down to 1, rounding to
/// float after every addition.
float total_density(const float* density);

}  // namespace reference
