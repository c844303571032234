// main.cpp - fluids: an interactive two-dimensional fluid simulator.
//
// Build and run:   ./run.sh          (installs what is missing, builds, opens)
// or by hand:      cmake -S . -B build && cmake --build build && build/viewer/fluids
//
// Arguments are handed to GLUT (for example -display :1 or -geometry).
// Keys: s simulate, space single step, c report, b d v g layers, B painting,
// f fixed source, r reset, Escape quit. Right button: density source; drag:
// velocity (or obstacles in painting mode).
#include <GL/freeglut.h>

#include "fluid.hpp"
#include "output_guard.hpp"
#include "viewer.hpp"

int main(int argc, char** argv) {
    // 1. Standard streams that lead somewhere, before GLUT opens the X
    //    connection: a closed descriptor 1 must not become that connection.
    fluid::guard_standard_streams();

    // 2. Start from an empty fluid.
    fluid::clear_state();

    // 3. Hand the command line to GLUT and ask for one double-buffered RGB
    //    window of the initial size.
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB);
    glutInitWindowSize(fluid::window_width, fluid::window_height);
    glutCreateWindow("Compute Stable Fluids");
    fluid::set_window_class();

    // 4. The quad every cell is drawn with, and the few-primitive drawing
    //    where the GL offers what it needs (else every frame is drawn cell
    //    by cell).
    fluid::build_cell_quad();
    fluid::init_fast_drawing();

    // 5. Handlers: drawing, resizes, visibility, moves, pacing and input.
    glutDisplayFunc(fluid::on_display);
    glutReshapeFunc(fluid::on_reshape);
    glutWindowStatusFunc(fluid::on_window_status);
    glutPositionFunc(fluid::on_window_position);
    glutIdleFunc(fluid::on_idle);
    glutKeyboardFunc(fluid::on_keyboard);
    glutMouseFunc(fluid::on_mouse);
    glutMotionFunc(fluid::on_motion);

    // 6. A redisplay every 16 ms besides the idle ones, first after 100 ms.
    glutTimerFunc(100, fluid::on_timer, 60);

    // 7. Run until Escape or until the window is closed.
    glutMainLoop();
    return 0;
}
