// window_class_x11.cpp - the window's class on X11.
//
// freeglut leaves WM_CLASS unset, and desktops match a window to its menu
// entry by that class (the entry's StartupWMClass), so the program names it
// itself. GLUT does not hand out the X window, but the GL context is current
// on it, and GLX knows both the connection and the window.
#include <GL/glx.h>
#include <X11/Xutil.h>

#include "viewer.hpp"

namespace fluid {

void set_window_class() {
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable window = glXGetCurrentDrawable();
    if (display == nullptr || window == 0) return;
    char name[] = "fluids";
    XClassHint hint{name, name};
    XSetClassHint(display, window, &hint);
    XFlush(display);
}

}  // namespace fluid
