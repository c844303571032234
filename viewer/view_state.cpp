// view_state.cpp - the window and display settings and the pointer state,
// process-wide and statically allocated; the colour each cell shows.
#include "fluid.hpp"
#include "viewer.hpp"

namespace fluid {

int window_width = 512;
int window_height = 512;
float cell_px = 0.0f;
unsigned int cell_quad = 0;
int simulate_on = 1;
int step_requested = 0;
int dump_on = 0;
int show_obstacles = 1;
int show_density = 1;
int show_velocity = 0;
int show_grid = 0;
int paint_obstacles = 0;

float total_density = 0.0f;

int pointer_x = 0;
int pointer_y = 0;
int prev_pointer_x = 0;
int prev_pointer_y = 0;
int button_state = 0;
int last_painted_col = 0;
int last_painted_row = 0;

void update_cell_size() {
    // Whole pixels per cell, so that cells stay square and aligned.
    cell_px = (float)(window_width / GRID_INNER);
}

int density_channel(float d) {
    return d < 0.33 ? 2 : d < 0.66 ? 1 : 0;
}

QuadColour obstacle_quad(int c) {
    if (show_obstacles == 0) return {};
    return {2, obstacle[c] == 1 ? 1.0f : 0.0f};
}

QuadColour density_quad(int c) {
    const float d = density[c];
    if (show_density == 0 || !(d > 0)) return {};
    return {density_channel(d), d};
}

QuadColour shown_quad(int c) {
    const QuadColour d = density_quad(c);
    return d.channel >= 0 ? d : obstacle_quad(c);
}

}  // namespace fluid
