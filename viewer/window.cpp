// window.cpp - the GLUT side of the window: the cell quad, resizes, frame
// pacing, and the input handlers that forward to the viewer's logic.
#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>

#include "viewer.hpp"

namespace fluid {

void build_cell_quad() {
    update_cell_size();
    const float half = (float)(0.5 * (double)cell_px);
    cell_quad = glGenLists(1);
    glNewList(cell_quad, GL_COMPILE);
    // Counter-clockwise, hence front-facing.
    glBegin(GL_QUADS);
    glVertex3f(-half, half, 0.0f);
    glVertex3f(-half, -half, 0.0f);
    glVertex3f(half, -half, 0.0f);
    glVertex3f(half, half, 0.0f);
    glEnd();
    glEndList();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
}

void on_reshape(int w, int h) {
    window_width = w;
    window_height = h;
    // Exactly one live display list: the old quad goes before the new one.
    glDeleteLists(cell_quad, 1);
    build_cell_quad();
    // The off-screen buffers of the old size go with it.
    resize_fast_drawing();
    glViewport(0, 0, w, h);
    // One unit per pixel, origin at the lower-left corner, y upward.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, (double)window_width, 0.0, (double)window_height, 0.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glutPostRedisplay();
}

void on_window_status(int state) {
    // Parts of the window that were covered may show now.
    window_pixels_changed(state == GLUT_FULLY_RETAINED);
    glutPostRedisplay();
}

void on_window_position(int /*x*/, int /*y*/) {
    window_moved();
    glutPostRedisplay();
}

void on_idle() {
    glutPostRedisplay();
}

void on_timer(int value) {
    glutPostRedisplay();
    glutTimerFunc(16, on_timer, value);
}

void on_keyboard(unsigned char key, int /*x*/, int /*y*/) {
    if (!keyboard_command(key)) std::exit(0);  // exit flushes buffered output
    glutPostRedisplay();
}

void on_mouse(int button, int state, int x, int y) {
    if (pointer_button(button, state, x, y)) glutPostRedisplay();
}

void on_motion(int x, int y) {
    if (pointer_motion(x, y)) glutPostRedisplay();
}

}  // namespace fluid
