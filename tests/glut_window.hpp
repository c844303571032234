// glut_window.hpp - the viewer's window in this process, on a private X
// server: opened as the program opens it, resized, and its GLUT events
// handled, for the drawing tests and the check benchmark.
#pragma once

#include <GL/freeglut.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "viewer.hpp"
#include "x_harness.hpp"

namespace glut_window {

/// Handles GLUT events until `done` holds, for at most ten seconds.
template <class Pred>
void pump(Pred done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end) {
        glutMainLoopEvent();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

inline bool shown = false;

/// Opens a 512 by 512 window on `server` with Mesa's rasteriser `driver`,
/// with the cell quad and the fast drawing prepared; true once GLUT has run
/// its first reshape and display.
inline bool open(const xharness::XServer& server, const char* driver) {
    // GLUT reads DISPLAY; it names the private server only. Mesa reads the
    // rasteriser's name when the screen is opened.
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv("GALLIUM_DRIVER", driver, 1);
    int argc = 1;
    char name[] = "fluids-in-process";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB);
    glutInitWindowSize(512, 512);
    glutCreateWindow("Compute Stable Fluids");
    unsetenv("GALLIUM_DRIVER");
    fluid::build_cell_quad();
    fluid::init_fast_drawing();
    shown = false;
    glutDisplayFunc([] { shown = true; });
    glutReshapeFunc(fluid::on_reshape);
    pump([] { return shown; });
    // The window alone on its server shows all its pixels, as the program
    // learns from its visibility events.
    fluid::window_pixels_changed(true);
    return shown;
}

/// Resizes the window; true once the reshape handler has seen the size.
/// Mesa's software GLX gives the back buffer the window's size only at the
/// next swap (the program's next frame): one is made here.
inline bool resize(int w, int h) {
    glutReshapeWindow(w, h);
    pump([&] { return fluid::window_width == w && fluid::window_height == h; });
    glClear(GL_COLOR_BUFFER_BIT);
    glutSwapBuffers();
    return fluid::window_width == w && fluid::window_height == h;
}

}  // namespace glut_window
