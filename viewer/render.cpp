// render.cpp - the display handler: clear, advance the frame, draw the four
// layers, swap.
//
// Two ways to draw produce the same pixels. The per-cell sequence draws all
// layers of one cell before the next cell; a velocity segment or a grid
// outline reaches into cells drawn later and is painted over by them, so
// while either of those layers is shown that order is part of the picture.
// Without them each cell shows at most one quad (the density quad covers the
// obstacle quad exactly), the quads tile the grid without overlapping, and
// their order cannot change a pixel: they are then drawn in one batch.
#include <GL/freeglut.h>
#include <GL/gl.h>

#include "fluid.hpp"
#include "viewer.hpp"

namespace fluid {

namespace {

// Draws the cell quad centred at (px, py).
void draw_quad_at(float px, float py) {
    glPushMatrix();
    glTranslatef(px, py, 0.0f);
    glCallList(cell_quad);
    glPopMatrix();
}

// A quad colour as the three channels GL is given.
void channels(QuadColour q, float rgb[3]) {
    rgb[0] = rgb[1] = rgb[2] = 0.0f;
    rgb[q.channel] = q.level;
}

constexpr int MAX_QUADS = GRID_INNER * GRID_INNER;
// Vertex and colour arrays of one batch: four vertices a quad.
float batch_vertices[MAX_QUADS * 4 * 2];
float batch_colours[MAX_QUADS * 4 * 3];

}  // namespace

void draw_segment_at(SegmentEnd end, float px, float py) {
    glPushMatrix();
    glTranslatef(px, py, 0.0f);
    glBegin(GL_LINES);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(end.x, end.y, 0.0f);
    glEnd();
    glPopMatrix();
}

void draw_quad(QuadColour q, float px, float py) {
    if (q.channel < 0) return;
    float rgb[3];
    channels(q, rgb);
    glColor3f(rgb[0], rgb[1], rgb[2]);
    draw_quad_at(px, py);
}

void draw_cells() {
#ifdef FLUIDS_PER_CELL_ONLY
    // The benchmark's build of the literal drawing.
    draw_cells_per_cell();
    return;
#endif
    if (draw_cells_fast()) return;
    if (show_velocity != 0 || show_grid != 0) {
        draw_cells_per_cell();
    } else {
        draw_cells_batched();
    }
}

void draw_cells_batched() {
    // The quad's corners in the order of the cell quad's display list, so
    // that every quad is split and rasterised as the list would be.
    float corner_x[4], corner_y[4];
    cell_quad_corners(corner_x, corner_y);
    int quads = 0;
    for (int i = GRID_INNER; i >= 1; --i) {
        const float py = cell_centre(i);
        for (int j = 1; j <= GRID_INNER; ++j) {
            const QuadColour q = shown_quad(cell_index(i, j));
            if (q.channel < 0) continue;  // nothing of this cell is drawn
            float rgb[3];
            channels(q, rgb);
            const float px = cell_centre(j);
            float* vertex = &batch_vertices[quads * 8];
            float* colour = &batch_colours[quads * 12];
            for (int k = 0; k < 4; ++k) {
                // The sums are exact: the translation of the per-cell path
                // gives the same coordinates.
                vertex[2 * k] = px + corner_x[k];
                vertex[2 * k + 1] = py + corner_y[k];
                colour[3 * k] = rgb[0];
                colour[3 * k + 1] = rgb[1];
                colour[3 * k + 2] = rgb[2];
            }
            ++quads;
        }
    }
    if (quads == 0) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, batch_vertices);
    glColorPointer(3, GL_FLOAT, 0, batch_colours);
    // Each quad's colour as a constant, as the per-cell path's current colour
    // is: interpolating four equal vertex colours can round a channel one
    // step differently in the rasteriser.
    glShadeModel(GL_FLAT);
    glDrawArrays(GL_QUADS, 0, quads * 4);
    glShadeModel(GL_SMOOTH);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void draw_cells_per_cell() {
    for (int i = GRID_INNER; i >= 1; --i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            const int c = cell_index(i, j);
            const float px = cell_centre(j);
            const float py = cell_centre(i);
            draw_quad(obstacle_quad(c), px, py);
            draw_quad(density_quad(c), px, py);
            if (show_velocity != 0) {
                glColor3ub(255, 0, 0);
                draw_segment_at(segment_end(c), px, py);
            }
            if (show_grid != 0) {
                glColor3ub(0, 255, 0);
                glPushMatrix();
                glPushAttrib(GL_POLYGON_BIT);
                glPolygonMode(GL_FRONT, GL_LINE);
                glTranslatef(px, py, 0.0f);
                glCallList(cell_quad);
                glPopAttrib();
                glPopMatrix();
            }
        }
    }
}

void on_display() {
    glClear(GL_COLOR_BUFFER_BIT);
    advance_frame();
    draw_cells();
    glutSwapBuffers();
}

}  // namespace fluid
