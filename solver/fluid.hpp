// fluid.hpp - the numerical core of the fluid simulator.
//
// An incompressible fluid on a 128 x 128 grid (a ring of edge cells around
// 126 x 126 interior cells), advanced by implicit diffusion, semi-Lagrangian
// advection and pressure projection around solid obstacle cells.
//
// All state is statically allocated and process-wide. Kernels take the fields
// they work on as pointers to the first element and read `obstacle` directly.
//
// Numerics: every arithmetic expression is evaluated in double precision and
// rounded to float where it is stored (to a field or a float variable). The
// results are therefore defined to the bit, independent of the compiler's
// optimisation level, provided that floating-point contraction is disabled
// (the solver's target sets it, see CMakeLists.txt).
#pragma once

#include <cstdint>

// The fast-math options let the compiler reassociate sums, replace divisions
// by reciprocals and assume that no NaN or infinity occurs, all of which
// change results; every solver source includes this header, so such a build
// stops here instead of computing other numbers.
#ifdef __FAST_MATH__
#error "fluids must not be compiled with the fast-math options: its results are defined to the bit"
#endif

namespace fluid {

/// Cells per side of a field, including the one-cell edge ring.
inline constexpr int GRID_SIDE = 128;
/// Interior cells per side.
inline constexpr int GRID_INNER = 126;
/// Number of values in one field.
inline constexpr int FIELD_SIZE = GRID_SIDE * GRID_SIDE;

/// Edge rule: ring cells copy the adjacent interior cell.
inline constexpr int EDGE_COPY = 0;
/// Edge rule: ring cells are set to zero.
inline constexpr int EDGE_ZERO = 1;

/// Flat index of cell (i, j); i has stride 1, j has stride 128.
constexpr int cell_index(int i, int j) { return i + GRID_SIDE * j; }

/// Velocity along i.
extern float u[FIELD_SIZE];
/// Velocity along j.
extern float v[FIELD_SIZE];
/// Source of u; scratch in the velocity step, then the final pressure.
extern float u_src[FIELD_SIZE];
/// Source of v; scratch in the velocity step, then the final divergence.
extern float v_src[FIELD_SIZE];
/// The transported scalar.
extern float density[FIELD_SIZE];
/// Source of density; after a density step, the diffused density.
extern float density_src[FIELD_SIZE];
/// 1 for a solid cell, 0 for fluid. Only interior cells are ever solid.
extern std::int32_t obstacle[FIELD_SIZE];

/// Time step of one simulated frame.
extern float time_step;
/// Diffusion rate of the density.
extern float diffusion_rate;
/// Viscosity, the diffusion rate of the velocity.
extern float viscosity;

/// Sets every element of all seven fields to zero.
void clear_state();

/// Sets the edge ring of x from the interior (EDGE_COPY) or to zero (any
/// other mode).
void apply_edges(float* x, int edge_mode);

/// target[k] += dt * source[k] over all cells, ring included.
void accumulate_source(float* target, const float* source, float dt);

/// Implicit diffusion of x0 into x by 20 in-place Gauss-Seidel sweeps;
/// obstacle cells are held at zero. x holds the starting guess on entry.
void diffuse_field(const float* x0, float* x, int edge_mode, float rate, float dt);

/// Semi-Lagrangian advection of d0 into d along (U, V). d0 may alias U or V.
void advect_field(float* d, const float* d0, const float* U, const float* V, int edge_mode,
                  float dt);

/// advect_field(d1, d01, U, V, ...) and then advect_field(d2, d02, U, V,
/// ...) in one pass, for d1 and d2 that are none of the inputs.
void advect_two_fields(float* d1, const float* d01, float* d2, const float* d02, const float* U,
                       const float* V, int edge_mode, float dt);

/// Makes (U, V) free of divergence; P receives the pressure, DIV the divergence.
void project_velocity(float* U, float* V, float* P, float* DIV);

/// Advances u and v by one time step.
void step_velocity(float dt);

/// Advances density by one time step along u and v.
void step_density(float rate, float dt);

}  // namespace fluid
