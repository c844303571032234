// draw.hpp - the four layers in WebGL2, with the pixels of the per-cell
// sequence.
#pragma once

namespace fluid::web {

/// Compiles the drawing's shaders and makes its buffers in the current
/// WebGL2 context; false when the context refuses something.
bool init_drawing();

/// The drawing buffer now has w by h pixels: viewport, scale, and a new
/// check of the fast drawing before the next frame.
void reshape_drawing(int w, int h);

/// Starts a frame: runs the check when one is due, then clears the drawing
/// buffer.
void begin_frame();

/// Draws the current state's shown layers into the cleared drawing buffer:
/// with the fast drawing where the check at this size passed and
/// the literal sequence is not forced, else with the literal sequence.
void draw_layers();

/// Draws with the literal sequence only (the page's ?literal).
void force_literal_drawing();

/// What the latest check found at the size it was made at.
struct DrawingCheck {
    int width = 0;
    int height = 0;
    bool exact = false;
    double milliseconds = 0.0;
};
DrawingCheck drawing_check();

/// Whether the latest frame used the fast drawing.
bool drew_fast();

}  // namespace fluid::web
