// project.cpp - pressure projection: divergence, 20 Gauss-Seidel sweeps of
// the pressure, and subtraction of the pressure gradient, all obstacle-aware.
#include "fluid.hpp"
#include "kernels.hpp"

namespace fluid {

void project_velocity(float* U, float* V, float* P, float* DIV) {
    detail::kernels().project(U, V, P, DIV);
}

}  // namespace fluid
