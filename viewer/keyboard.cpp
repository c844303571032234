// keyboard.cpp - the eleven single-key commands. Letters are case-sensitive.
#include "fluid.hpp"
#include "viewer.hpp"

namespace fluid {

bool keyboard_command(unsigned char key) {
    switch (key) {
        case 27:  // Escape
            return false;
        case ' ':
            step_requested = 1;
            break;
        case 'B':
            toggle(paint_obstacles);
            break;
        case 'b':
            toggle(show_obstacles);
            break;
        case 'c':
            toggle(dump_on);
            break;
        case 'd':
            toggle(show_density);
            break;
        case 'f': {
            // A fixed source in the bottom interior row, middle column. It is
            // assigned, so repeating the key between two steps changes nothing.
            const int c = cell_index(1, 64);
            density_src[c] = (float)(126.0 * (double)cell_px);
            v_src[c] = cell_px;
            break;
        }
        case 'g':
            toggle(show_grid);
            break;
        case 'r':
            clear_state();
            break;
        case 's':
            toggle(simulate_on);
            break;
        case 'v':
            toggle(show_velocity);
            break;
        default:
            break;
    }
    return true;
}

}  // namespace fluid
