// globals_copy.hpp - copies between a reference state and the solver's
// global fields, for tests and benchmarks that run both.
#pragma once

#include <cstring>

#include "fluid.hpp"
#include "reference_solver.hpp"

namespace test_support {

/// Copies a reference state into the solver's global fields.
inline void load_globals(const reference::State& s) {
    std::memcpy(fluid::u, s.u, sizeof s.u);
    std::memcpy(fluid::v, s.v, sizeof s.v);
    std::memcpy(fluid::u_src, s.u_src, sizeof s.u_src);
    std::memcpy(fluid::v_src, s.v_src, sizeof s.v_src);
    std::memcpy(fluid::density, s.density, sizeof s.density);
    std::memcpy(fluid::density_src, s.density_src, sizeof s.density_src);
    std::memcpy(fluid::obstacle, s.obstacle, sizeof s.obstacle);
}

/// Copies the solver's global fields into a reference state.
inline void save_globals(reference::State& s) {
    std::memcpy(s.u, fluid::u, sizeof s.u);
    std::memcpy(s.v, fluid::v, sizeof s.v);
    std::memcpy(s.u_src, fluid::u_src, sizeof s.u_src);
    std::memcpy(s.v_src, fluid::v_src, sizeof s.v_src);
    std::memcpy(s.density, fluid::density, sizeof s.density);
    std::memcpy(s.density_src, fluid::density_src, sizeof s.density_src);
    std::memcpy(s.obstacle, fluid::obstacle, sizeof s.obstacle);
}

}  // namespace test_support
