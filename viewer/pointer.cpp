// pointer.cpp - the mouse and motion actions: the right button injects
// density with a ring of velocity, a drag adds velocity, and in painting mode
// the left button toggles obstacle cells.
#include "fluid.hpp"
#include "viewer.hpp"

namespace fluid {

namespace {

constexpr int GLUT_LEFT = 0;
constexpr int GLUT_RIGHT = 2;
constexpr int GLUT_PRESSED = 0;

// One pointer coordinate to a cell index along that axis, 1..126.
// `offset` is the pixel distance from the window's low edge along the axis
// and `extent` the window's size along it; 128 cells span the window.
// `outside` is the cell for a window of no size, in which every position is
// outside (the division would give inf or NaN).
int axis_cell(double offset, int extent, int outside) {
    if (extent <= 0) return outside;
    const float fraction = (float)(offset / (double)extent);
    const double scaled = (double)fraction * 128.0;
    // Truncation toward zero, then the clamp to 1..126. Comparing before
    // converting keeps the conversion defined for any pointer position.
    if (!(scaled >= 1.0)) return 1;
    if (scaled >= (double)(GRID_INNER + 1)) return GRID_INNER;
    return (int)scaled;
}

// The toggle rule of painting mode: once per newly entered cell per press.
void paint_cell(const PointerCell& cell) {
    if (button_state != GLUT_PRESSED) return;
    if (cell.col == last_painted_col && cell.row == last_painted_row) return;
    const int c = cell_index(cell.row, cell.col);
    obstacle[c] = obstacle[c] == 0 ? 1 : 0;
    last_painted_col = cell.col;
    last_painted_row = cell.row;
}

// The latest position becomes the previous one.
void move_pointer(int x, int y) {
    prev_pointer_x = pointer_x;
    prev_pointer_y = pointer_y;
    pointer_x = x;
    pointer_y = y;
}

}  // namespace

PointerCell pointer_cell() {
    // Outside a window, x < 0 gives column 1 and x >= width column 126;
    // y < 0 (above) gives row 126 and y >= height (below) row 1.
    const int col = axis_cell((double)pointer_x, window_width, pointer_x < 0 ? 1 : GRID_INNER);
    const int row = axis_cell((double)window_height - (double)pointer_y, window_height,
                              pointer_y < 0 ? GRID_INNER : 1);
    return {col, row};
}

void apply_pointer(int button, int is_drag) {
    const PointerCell cell = pointer_cell();
    const int c = cell_index(cell.row, cell.col);
    if (button == GLUT_RIGHT) {
        // Assignments, on press and release alike; the cell itself gets no
        // velocity. The four neighbours may lie on the ring.
        density_src[c] = (float)(126.0 * (double)cell_px);
        u_src[c - GRID_SIDE] = -cell_px;
        v_src[c - 1] = -cell_px;
        u_src[c + GRID_SIDE] = cell_px;
        v_src[c + 1] = cell_px;
    } else if (button == GLUT_LEFT) {
        if (paint_obstacles != 0) {
            paint_cell(cell);
        } else if (is_drag != 0) {
            // Horizontal motion feeds u, vertical motion (upward positive) v.
            const double dx = (double)pointer_x - (double)prev_pointer_x;
            const double dy = (double)prev_pointer_y - (double)pointer_y;
            u_src[c] = (float)((double)u_src[c] + dx * (double)cell_px);
            v_src[c] = (float)((double)v_src[c] + dy * (double)cell_px);
        }
    }
}

bool pointer_button(int button, int state, int x, int y) {
    button_state = state;
    if (state == GLUT_PRESSED) {
        last_painted_col = -1;
        last_painted_row = -1;
    }
    move_pointer(x, y);
    apply_pointer(button, 0);
    return true;
}

bool pointer_motion(int x, int y) {
    if (button_state != GLUT_PRESSED) return false;
    move_pointer(x, y);
    // A drag acts as the left button, whichever button is held.
    apply_pointer(GLUT_LEFT, 1);
    return true;
}

}  // namespace fluid
