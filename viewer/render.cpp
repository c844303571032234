// render.cpp - the display handler: clear, advance the frame, draw the four
// layers cell by cell, swap.
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

}  // namespace

void draw_cells() {
    for (int i = GRID_INNER; i >= 1; --i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            const int c = cell_index(i, j);
            const float px = (float)(0.5 * (double)cell_px + (double)j * (double)cell_px);
            const float py = (float)(0.5 * (double)cell_px + (double)i * (double)cell_px);
            if (show_obstacles != 0) {
                if (obstacle[c] == 1) {
                    glColor3ub(0, 0, 255);
                } else {
                    glColor3ub(0, 0, 0);
                }
                draw_quad_at(px, py);
            }
            const float d = density[c];
            if (show_density != 0 && d > 0) {
                if (d < 0.33) {
                    glColor3f(0.0f, 0.0f, d);
                } else if (d < 0.66) {
                    glColor3f(0.0f, d, 0.0f);
                } else {
                    glColor3f(d, 0.0f, 0.0f);
                }
                draw_quad_at(px, py);
            }
            if (show_velocity != 0) {
                glColor3ub(255, 0, 0);
                glPushMatrix();
                glTranslatef(px, py, 0.0f);
                glBegin(GL_LINES);
                glVertex3f(0.0f, 0.0f, 0.0f);
                glVertex3f((float)((double)u[c] * (double)cell_px * 10.0),
                           (float)((double)v[c] * (double)cell_px * 10.0), 0.0f);
                glEnd();
                glPopMatrix();
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
