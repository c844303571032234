// geometry.cpp - where the drawing puts things, in window pixels (origin at
// the lower-left corner, y upward): cell centres, the cell quad's corners and
// the velocity segments. Shared by every drawing, on the desktop and in the
// browser.
#include <algorithm>

#include "fluid.hpp"
#include "viewer.hpp"

namespace fluid {

float cell_centre(int k) {
    return (float)(0.5 * (double)cell_px + (double)k * (double)cell_px);
}

SegmentEnd segment_end_of(float vx, float vy) {
    return {(float)((double)vx * (double)cell_px * 10.0),
            (float)((double)vy * (double)cell_px * 10.0)};
}

SegmentEnd segment_end(int c) {
    return segment_end_of(u[c], v[c]);
}

void cell_quad_corners(float x[4], float y[4]) {
    const float half = (float)(0.5 * (double)cell_px);
    const float corner_x[4] = {-half, -half, half, half};
    const float corner_y[4] = {half, -half, -half, half};
    std::copy(corner_x, corner_x + 4, x);
    std::copy(corner_y, corner_y + 4, y);
}

}  // namespace fluid
