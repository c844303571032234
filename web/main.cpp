// main.cpp - fluids in a web browser: the page's canvas is the window.
//
// Everything the browser does differently from the desktop lives here: the
// WebGL2 context on <canvas id="canvas">, the canvas following the page's
// size at device pixels, a frame on every animation frame, and mouse, key
// and touch events, all through Emscripten's html5 API. The simulation, the
// report, the keys' and buttons' actions are the desktop program's own.
//
// Standard output goes to the browser's console one line per console.log
// call; the page (fluids.html) also keeps the last report for its panel.
#include <GLES3/gl3.h>
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "draw.hpp"
#include "fluid.hpp"
#include "viewer.hpp"

namespace {

constexpr const char* CANVAS = "#canvas";
constexpr int PRESSED = 0;
constexpr int RELEASED = 1;

bool ended = false;
// Frames to draw before holding (no frames drawn while the tests take a
// picture); -1 when not holding.
long frames_before_hold = -1;
long frames = 0;
// Buttons pressed on the canvas and not yet released (bit b for button b):
// only those get their release and drags, as a window gets them on the
// desktop.
int buttons_down = 0;
// The button the next touch acts as (0 left, 1 middle, 2 right); the touch
// menu sets it for one touch.
int touch_button = 0;
int touch_acting = -1;  // the button of the touch in progress, -1 when none
bool touch_pending = false;
long touch_id = -1;
int touch_x = 0, touch_y = 0;

// ---- The canvas as the window ------------------------------------------------

// A length in CSS pixels as device pixels, clamped to what an int holds.
int device_pixels(double css, double ratio) {
    const double px = std::floor(css * ratio);
    if (!(px > 0.0)) return 0;
    return px < 1.0e9 ? (int)px : 1000000000;
}

// Gives the canvas the page's size in device pixels; a new size is a
// reshape, as on the desktop.
void follow_page_size() {
    double css_w = 0.0, css_h = 0.0;
    emscripten_get_element_css_size(CANVAS, &css_w, &css_h);
    const double ratio = emscripten_get_device_pixel_ratio();
    const int w = std::max(1, device_pixels(css_w, ratio));
    const int h = std::max(1, device_pixels(css_h, ratio));
    static bool sized = false;
    if (sized && w == fluid::window_width && h == fluid::window_height) return;
    sized = true;
    emscripten_set_canvas_element_size(CANVAS, w, h);
    fluid::window_width = w;
    fluid::window_height = h;
    fluid::update_cell_size();
    fluid::web::reshape_drawing(w, h);
}

// An event position in CSS pixels of the page (the canvas sits at its top
// left corner) as a window position in device pixels.
void window_position(long client_x, long client_y, int* x, int* y) {
    double css_w = 0.0, css_h = 0.0;
    emscripten_get_element_css_size(CANVAS, &css_w, &css_h);
    const auto scale = [](long c, double css, int px) {
        const double p = std::floor((double)c * (css > 0.0 ? (double)px / css : 1.0));
        return p < -1.0e9 ? -1000000000 : p > 1.0e9 ? 1000000000 : (int)p;
    };
    *x = scale(client_x, css_w, fluid::window_width);
    *y = scale(client_y, css_h, fluid::window_height);
}

// ---- The end ------------------------------------------------------------------

void end_program() {
    ended = true;
    emscripten_html5_remove_all_event_listeners();
    std::fflush(stdout);
    EM_ASM({
        if (Module.onEnded) Module.onEnded();
    });
}

void key(unsigned char k) {
    if (ended) return;
    if (!fluid::keyboard_command(k)) end_program();
}

// ---- Frames -------------------------------------------------------------------

EM_BOOL on_frame(double /*time*/, void* /*data*/) {
    if (ended) return EM_FALSE;
    if (frames_before_hold == 0) return EM_TRUE;
    if (frames_before_hold > 0) --frames_before_hold;
    follow_page_size();
    fluid::web::begin_frame();
    fluid::advance_frame();
    fluid::web::draw_layers();
    if (++frames == 1) {
        EM_ASM({
            if (Module.onFirstFrame) Module.onFirstFrame();
        });
    }
    return EM_TRUE;
}

// ---- Mouse, keys, touch -------------------------------------------------------

EM_BOOL on_mouse_down(int /*type*/, const EmscriptenMouseEvent* e, void* /*data*/) {
    if (ended || e->button > 2) return EM_FALSE;
    int x, y;
    window_position(e->clientX, e->clientY, &x, &y);
    buttons_down |= 1 << e->button;
    fluid::pointer_button(e->button, PRESSED, x, y);
    return EM_TRUE;
}

EM_BOOL on_mouse_up(int /*type*/, const EmscriptenMouseEvent* e, void* /*data*/) {
    if (ended || e->button > 2 || (buttons_down & (1 << e->button)) == 0) return EM_FALSE;
    int x, y;
    window_position(e->clientX, e->clientY, &x, &y);
    buttons_down &= ~(1 << e->button);
    fluid::pointer_button(e->button, RELEASED, x, y);
    return EM_TRUE;
}

EM_BOOL on_mouse_move(int /*type*/, const EmscriptenMouseEvent* e, void* /*data*/) {
    if (ended || buttons_down == 0) return EM_FALSE;
    int x, y;
    window_position(e->clientX, e->clientY, &x, &y);
    fluid::pointer_motion(x, y);
    return EM_TRUE;
}

// Keys by their DOM value, so that every keyboard layout types the letters
// it shows; with Control, Alt or Meta held they are the browser's.
EM_BOOL on_key_down(int /*type*/, const EmscriptenKeyboardEvent* e, void* /*data*/) {
    if (ended || e->ctrlKey || e->altKey || e->metaKey) return EM_FALSE;
    if (std::strcmp(e->key, "Escape") == 0) {
        key(27);
        return EM_TRUE;
    }
    const unsigned char c = (unsigned char)e->key[0];
    if (c < 0x20 || c > 0x7e || e->key[1] != '\0') return EM_FALSE;
    key(c);
    return EM_TRUE;
}

// One finger acts as a button (the left one unless the touch menu chose
// another for this touch). The press waits for the finger's first move or
// its end, so that a second finger landing first (the gesture that opens the
// menu) leaves the fluid untouched.
const EmscriptenTouchPoint* find_touch(const EmscriptenTouchEvent* e, long id) {
    for (int k = 0; k < e->numTouches; ++k) {
        if (e->touches[k].identifier == id) return &e->touches[k];
    }
    return nullptr;
}

void press_pending() {
    if (!touch_pending) return;
    touch_pending = false;
    touch_acting = touch_button;
    touch_button = 0;
    fluid::pointer_button(touch_acting, PRESSED, touch_x, touch_y);
}

EM_BOOL on_touch_start(int /*type*/, const EmscriptenTouchEvent* e, void* /*data*/) {
    if (ended) return EM_FALSE;
    if (e->numTouches >= 2) {
        if (touch_pending) {
            touch_pending = false;
            touch_id = -1;
            EM_ASM({
                if (Module.openTouchMenu) Module.openTouchMenu();
            });
        }
        return EM_TRUE;
    }
    if (touch_id >= 0) return EM_TRUE;
    touch_id = e->touches[0].identifier;
    window_position(e->touches[0].clientX, e->touches[0].clientY, &touch_x, &touch_y);
    touch_pending = true;
    return EM_TRUE;
}

EM_BOOL on_touch_move(int /*type*/, const EmscriptenTouchEvent* e, void* /*data*/) {
    const EmscriptenTouchPoint* t = find_touch(e, touch_id);
    if (ended || t == nullptr || !t->isChanged) return EM_TRUE;
    press_pending();
    window_position(t->clientX, t->clientY, &touch_x, &touch_y);
    fluid::pointer_motion(touch_x, touch_y);
    return EM_TRUE;
}

EM_BOOL on_touch_end(int /*type*/, const EmscriptenTouchEvent* e, void* /*data*/) {
    const EmscriptenTouchPoint* t = find_touch(e, touch_id);
    if (ended || t == nullptr || !t->isChanged) return EM_TRUE;
    press_pending();
    window_position(t->clientX, t->clientY, &touch_x, &touch_y);
    fluid::pointer_button(touch_acting, RELEASED, touch_x, touch_y);
    touch_acting = -1;
    touch_id = -1;
    return EM_TRUE;
}

bool page_has(const char* flag) {
    return EM_ASM_INT(
               { return new URLSearchParams(location.search).has(UTF8ToString($0)) ? 1 : 0; },
               flag) != 0;
}

}  // namespace

// ---- What the page calls --------------------------------------------------------

extern "C" {

/// A key from the touch menu, as typed.
EMSCRIPTEN_KEEPALIVE void fluids_key(int k) {
    if (k >= 0 && k <= 255) key((unsigned char)k);
}

/// The button the next touch acts as (0, 1 or 2).
EMSCRIPTEN_KEEPALIVE void fluids_touch_button(int button) {
    if (button >= 0 && button <= 2) touch_button = button;
}

/// For the page's tests: draws n more frames, then holds (no frames drawn,
/// the canvas keeps showing the latest one; input is handled as always),
/// so that a picture is taken without waiting for a slow frame; n < 0
/// resumes.
EMSCRIPTEN_KEEPALIVE void fluids_hold_after(int n) {
    frames_before_hold = n < 0 ? -1 : n;
}

/// The state of the drawing, as JSON, for the page's tests and benchmark.
EMSCRIPTEN_KEEPALIVE const char* fluids_status() {
    static char text[256];
    const fluid::web::DrawingCheck c = fluid::web::drawing_check();
    std::snprintf(text, sizeof text,
                  "{\"frames\":%ld,\"width\":%d,\"height\":%d,\"fast\":%s,\"checked\":[%d,%d],"
                  "\"exact\":%s,\"check_ms\":%.3f,\"ended\":%s,\"held\":%s}",
                  frames, fluid::window_width, fluid::window_height,
                  fluid::web::drew_fast() ? "true" : "false", c.width, c.height,
                  c.exact ? "true" : "false", c.milliseconds, ended ? "true" : "false",
                  frames_before_hold == 0 ? "true" : "false");
    return text;
}
}

int main() {
    // 1. Start from an empty fluid.
    fluid::clear_state();

    // 2. A WebGL2 context on the canvas: no alpha (the desktop window has
    //    none), no antialiasing (it would blend the lines' pixels; ?antialias
    //    asks for it, as some browsers force it, and the fast drawing's
    //    check must then refuse the buffer).
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;
    attributes.antialias = page_has("antialias") ? EM_TRUE : EM_FALSE;
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.premultipliedAlpha = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_FALSE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context =
        emscripten_webgl_create_context(CANVAS, &attributes);
    if (context <= 0 ||
        emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS ||
        !fluid::web::init_drawing()) {
        EM_ASM({
            if (Module.noWebGL2) Module.noWebGL2();
        });
        return 0;
    }

    // 3. The literal drawing on request (?literal), for comparison.
    if (page_has("literal")) fluid::web::force_literal_drawing();

    // 4. The window's size, before the first frame.
    follow_page_size();

    // 5. Input: presses on the canvas; releases and drags anywhere, as a
    //    window that holds the pointer gets them; keys anywhere on the page.
    emscripten_set_mousedown_callback(CANVAS, nullptr, EM_FALSE, on_mouse_down);
    emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, on_mouse_up);
    emscripten_set_mousemove_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE,
                                      on_mouse_move);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, on_key_down);
    emscripten_set_touchstart_callback(CANVAS, nullptr, EM_FALSE, on_touch_start);
    emscripten_set_touchmove_callback(CANVAS, nullptr, EM_FALSE, on_touch_move);
    emscripten_set_touchend_callback(CANVAS, nullptr, EM_FALSE, on_touch_end);
    emscripten_set_touchcancel_callback(CANVAS, nullptr, EM_FALSE, on_touch_end);

    // 6. A frame on every animation frame, until Escape.
    emscripten_request_animation_frame_loop(on_frame, nullptr);
    return 0;
}
