// viewer.hpp - the interactive viewer: window, frame cycle, drawing, report,
// keyboard and pointer.
//
// The viewer is split in two layers. The logic (view and pointer state, the
// frame advance and report, the keyboard and pointer actions, the geometry of
// the drawing) uses no GL and is built into the library `fluid_viewer_core`,
// so that it can be tested and fuzzed without a display. The window's
// handlers and the drawing (GLUT and GL on the desktop, web/ in the browser)
// call into it.
#pragma once

#include <cstddef>

#include "fluid.hpp"

namespace fluid {

// ---- View state -----------------------------------------------------------

/// Current window width in pixels.
extern int window_width;
/// Current window height in pixels.
extern int window_height;
/// Edge of one drawn cell in pixels: floor(window_width / 126).
extern float cell_px;
/// Display list drawing one cell-sized quad centred on the origin.
extern unsigned int cell_quad;
/// Advance the simulation on every frame (key s).
extern int simulate_on;
/// Advance once on the next frame (space), cleared by the frame advance.
extern int step_requested;
/// Print the field report after each simulated frame (key c).
extern int dump_on;
/// Draw the obstacle layer (key b).
extern int show_obstacles;
/// Draw the density layer (key d).
extern int show_density;
/// Draw the velocity layer (key v).
extern int show_velocity;
/// Draw the grid layer (key g).
extern int show_grid;
/// The left button and drags paint obstacles (key B).
extern int paint_obstacles;

/// Sum of the interior density after the latest simulated frame.
extern float total_density;

// ---- Pointer state --------------------------------------------------------

/// Latest pointer position in window pixels (origin top-left, y down).
extern int pointer_x;
extern int pointer_y;
/// The position before the latest one.
extern int prev_pointer_x;
extern int prev_pointer_y;
/// State of the latest button event: 0 pressed, 1 released.
extern int button_state;
/// The cell toggled last during the current press; -1 after a press.
extern int last_painted_col;
extern int last_painted_row;

/// Sets cell_px from window_width (the GL part, the display list, is in
/// build_cell_quad).
void update_cell_size();

/// Flips a 0/1 toggle.
inline void toggle(int& flag) {
    flag = flag == 0 ? 1 : 0;
}

// ---- What a cell shows -----------------------------------------------------

/// The colour of one cell quad: `level` in one channel (0 red, 1 green,
/// 2 blue) and 0 in the other two; channel -1 when no quad is drawn. GL
/// clamps the level to 1.
struct QuadColour {
    int channel = -1;
    float level = 0.0f;
};

/// The colour channel of the density layer for d > 0: blue (2) below 0.33,
/// green (1) below 0.66, else red (0).
int density_channel(float d);

/// The obstacle layer's quad of cell c: blue, 1 for an obstacle and 0 for
/// fluid; none while the layer is off.
QuadColour obstacle_quad(int c);

/// The density layer's quad of cell c: d in its band's channel while the
/// layer is on and d > 0 (never for 0, negative or NaN values); else none.
QuadColour density_quad(int c);

/// The quad a cell shows: its density quad, which is drawn over its
/// obstacle quad and covers it exactly, or else its obstacle quad.
QuadColour shown_quad(int c);

// ---- Frame advance and report ---------------------------------------------

/// Steps the simulation when it is on or a single step was requested, sums
/// total_density and prints the report when it is on.
void advance_frame();

/// Interior density summed from row 126 down to 1, rounded after every add.
float sum_density(const float* density);

/// Prints one field as 128 lines of 128 "%f " values, top row first.
void dump_field(const float* f);

/// Prints the density, u and v fields and the total density.
void print_report(float total);

// ---- Keyboard -------------------------------------------------------------

/// Applies a keyboard command; returns false for Escape, which asks to quit.
bool keyboard_command(unsigned char key);

// ---- Pointer --------------------------------------------------------------

/// Column (X) and row (Y) of the interior cell under the pointer.
struct PointerCell {
    int col;
    int row;
};

/// Maps the pointer position to a cell, clamped to the interior. A window
/// of zero width or height maps as a pointer outside the window would.
PointerCell pointer_cell();

/// The action shared by button and drag events; button as GLUT numbers it.
void apply_pointer(int button, int is_drag);

/// Mouse button event; returns whether a redisplay should be posted.
bool pointer_button(int button, int state, int x, int y);

/// Motion with a button held; returns whether a redisplay should be posted.
bool pointer_motion(int x, int y);

// ---- Geometry, in window pixels (origin lower-left, y upward) -------------

/// The window coordinate of the centre of cell index k along either axis.
float cell_centre(int k);
/// The far end of cell c's velocity segment relative to the cell's centre,
/// in pixels: (u, v) times cell_px times 10, each rounded to float once.
struct SegmentEnd {
    float x;
    float y;
};
SegmentEnd segment_end(int c);
/// The same for a velocity (vx, vy).
SegmentEnd segment_end_of(float vx, float vy);
/// The corners of the cell quad relative to its centre, in its display
/// list's order (top-left, bottom-left, bottom-right, top-right).
void cell_quad_corners(float x[4], float y[4]);

// ---- The fast drawing's numbers and cell image (shared by the desktop and
// the web page; their shaders are in fast_shaders.hpp) ----------------------

/// Cells drawn: numbers 1..NUMBERED_CELLS name them, 0 names none.
inline constexpr int NUMBERED_CELLS = GRID_INNER * GRID_INNER;
/// The number of cell (i, j): 1 for the top row's first cell, counting
/// left to right, then row by row downwards (the per-cell order).
int number_of(int i, int j);
/// The narrowest colour channel that carries a digit of a number, and the
/// widest whose levels a copy texture keeps one by one.
inline constexpr int MIN_DIGIT_CHANNEL_BITS = 4;
inline constexpr int MAX_DIGIT_CHANNEL_BITS = 16;
/// The bits of each channel that carry a digit of a number (at most the 8
/// of a colour byte) in a buffer with `buffer_bits`; false where a channel
/// is too narrow or too wide, or all of them cannot hold NUMBERED_CELLS.
bool number_digits(const int buffer_bits[3], int digit_bits[3]);
/// The colour byte of digit d of a `digit`-bit channel (at most 8): the
/// byte at or just above the digit's exact place, ceil(d 255 / (2^digit -
/// 1)). It is stored as level d whether the driver converts a byte to fewer
/// bits by rounding, by truncation or by dropping low bits (it lies less
/// than an eighth of a level above d, and below d + 1 in the top bits); a
/// buffer with 8 bits or more stores the byte itself or the level nearest
/// to it.
unsigned char digit_byte(long d, int digit);
/// The colour bytes of number n: its digits from the blue channel up.
void number_colour(int n, const int digit_bits[3], unsigned char rgb[3]);
/// The cell image's texel for quad colour q: the level, clamped to 1 as GL
/// clamps a colour, and its channel + 1 (0 where no quad is drawn). The
/// image holds row i-1, column j-1 at texel ((i-1) GRID_INNER + j-1).
void cell_texel(QuadColour q, float texel[2]);

// ---- GLUT handlers (in the fluids executable) -----------------------------

void build_cell_quad();
/// Draws the quad of colour q centred at (px, py) as the per-cell sequence
/// does (nothing for a quad that is not drawn).
void draw_quad(QuadColour q, float px, float py);
/// Draws a line from (px, py) to `end` relative to it in the current colour
/// as the per-cell sequence draws a velocity segment: through the modelview
/// translation.
void draw_segment_at(SegmentEnd end, float px, float py);
/// Whether the few-primitive drawing is available in this context (set by
/// init_fast_drawing; the start-up check at each window size may still turn
/// it off for that size).
extern bool fast_drawing;
/// Looks up what the few-primitive drawing needs in the current context and
/// prepares it; false (and cell-by-cell drawing) when something is missing.
bool init_fast_drawing();
/// Releases the window-sized textures of the old window size and has the
/// few-primitive drawing checked again at the new one.
void resize_fast_drawing();
/// What the latest check of the few-primitive drawing found, at the window
/// size it was made at (0 by 0 before the first): the cell colours exact
/// (`cells`), every cell number stored, copied and read back exactly and the
/// lines placed as the per-cell ones (`numbers`), and how long it took.
struct FastDrawingCheck {
    int width = 0;
    int height = 0;
    bool cells = false;
    bool numbers = false;
    double milliseconds = 0.0;
};
FastDrawingCheck fast_drawing_check();
/// Tells the few-primitive drawing that the pixels the window shows have
/// changed (covered, uncovered, shown, hidden) and whether it now shows all
/// of them.
void window_pixels_changed(bool fully_visible);
/// Tells it that the window has moved.
void window_moved();
/// Draws all four layers in a few primitives, with the pixels of
/// draw_cells_per_cell; false, having drawn nothing, when it cannot.
bool draw_cells_fast();
/// Draws the layers of every interior cell: with draw_cells_fast where it
/// can, else batched when only the obstacle and density layers are on, else
/// cell by cell.
void draw_cells();
/// Draws all four layers cell by cell, the painter's order of the picture.
void draw_cells_per_cell();
/// Draws the obstacle and density layers as one batch of quads; the same
/// pixels as draw_cells_per_cell while the velocity and grid layers are off.
void draw_cells_batched();
/// Names the window's class "fluids" (WM_CLASS, which the menu entry's
/// StartupWMClass gives) where the window system has one: X11.
#ifdef FLUIDS_X11_WINDOW_CLASS
void set_window_class();
#else
inline void set_window_class() {}
#endif
void on_display();
void on_reshape(int w, int h);
void on_window_status(int state);
void on_window_position(int x, int y);
void on_idle();
void on_timer(int value);
void on_keyboard(unsigned char key, int x, int y);
void on_mouse(int button, int state, int x, int y);
void on_motion(int x, int y);

}  // namespace fluid
