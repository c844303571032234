// state.cpp - the grid's seven fields, the simulation settings and the reset.
#include <cstring>

#include "fluid.hpp"

namespace fluid {

// 64-byte alignment lets the kernels use aligned vector loads on every row.
alignas(64) float u[FIELD_SIZE];
alignas(64) float v[FIELD_SIZE];
alignas(64) float u_src[FIELD_SIZE];
alignas(64) float v_src[FIELD_SIZE];
alignas(64) float density[FIELD_SIZE];
alignas(64) float density_src[FIELD_SIZE];
alignas(64) std::int32_t obstacle[FIELD_SIZE];

float time_step = 0.2f;
float diffusion_rate = 0.5f;
float viscosity = 0.0f;

void clear_state() {
    std::memset(u, 0, sizeof u);
    std::memset(v, 0, sizeof v);
    std::memset(u_src, 0, sizeof u_src);
    std::memset(v_src, 0, sizeof v_src);
    std::memset(density, 0, sizeof density);
    std::memset(density_src, 0, sizeof density_src);
    std::memset(obstacle, 0, sizeof obstacle);
}

}  // namespace fluid
