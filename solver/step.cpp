// step.cpp - the two step drivers. The source fields double as scratch, so
// each field plays several roles within one step (see fluid.hpp).
#include "fluid.hpp"
#include "skew_layout.hpp"

namespace fluid {

void step_velocity(float dt) {
    detail::begin_step();
    accumulate_source(u, u_src, dt);
    accumulate_source(v, v_src, dt);
    diffuse_field(u, u_src, EDGE_COPY, viscosity, dt);
    diffuse_field(v, v_src, EDGE_COPY, viscosity, dt);
    project_velocity(u_src, v_src, u, v);
    // u and v advected along (u_src, v_src), which neither overwrites.
    advect_two_fields(u, u_src, v, v_src, u_src, v_src, EDGE_COPY, dt);
    project_velocity(u, v, u_src, v_src);
    detail::end_step();
}

void step_density(float rate, float dt) {
    detail::begin_step();
    accumulate_source(density, density_src, dt);
    diffuse_field(density, density_src, EDGE_ZERO, rate, dt);
    advect_field(density, density_src, u, v, EDGE_ZERO, dt);
    detail::end_step();
}

}  // namespace fluid
