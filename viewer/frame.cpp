// frame.cpp - the frame advance: one simulation step per displayed frame
// while simulation is on (or once on request), then the total and the report.
#include "fluid.hpp"
#include "viewer.hpp"

namespace fluid {

float sum_density(const float* field) {
    float total = 0.0f;
    for (int i = GRID_INNER; i >= 1; --i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            total = (float)((double)total + (double)field[cell_index(i, j)]);
        }
    }
    return total;
}

void advance_frame() {
    if (simulate_on == 0 && step_requested == 0) return;
    step_velocity(time_step);
    step_density(diffusion_rate, time_step);
    total_density = sum_density(density);
    if (dump_on != 0) print_report(total_density);
    step_requested = 0;
}

}  // namespace fluid
