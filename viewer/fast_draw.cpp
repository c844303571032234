// fast_draw.cpp - all four layers in a handful of primitives a frame, with
// the pixels of the per-cell sequence, on the drivers where a check at
// start-up proves it.
//
// The per-cell sequence paints every cell's quads, then its velocity segment,
// then its grid outline, cell after cell, so a pixel shows the latest
// primitive that covers it. Here each kind of primitive is drawn on its own,
// in one call, and one pass over the window picks the latest per pixel:
//
//   - the cell colours form a 126 x 126 float image (a level and its
//     channel, none where no quad is drawn); a quad covers exactly the
//     pixels of its cell;
//   - the velocity segments go into the back buffer in one GL_LINES call,
//     in the order of their cells, each coloured with its cell's number, so
//     that every pixel ends up with the number of the latest segment over
//     it; that image is copied to a texture;
//   - the grid outlines likewise, in one call of line-mode quads with the
//     per-cell quads' corners.
//
// Both images are drawn anew every frame and read only by the pixel they
// belong to, so no back-buffer pixel is kept from one frame to the next: a
// pixel the window did not own while covered cannot show later.
//
// The lines are rasterised in the window's own back buffer, where the
// per-cell sequence draws them, so they cover the same pixels (in a
// framebuffer object of the window's size, tried on Mesa, the same lines
// cover other pixels, most of all those that leave the window). A number is
// written as one digit a colour channel, each digit as wide as the channel
// the buffer reports (at most 8 bits), with dithering off.
//
// In the last pass a cell's quad has order 4n+1, its segment 4n+2 and its
// outline 4n+3 (n counts cells from the top row, left to right); the
// highest order covering a pixel gives its colour. Cell colours reach the
// framebuffer as float fragment colours, rounded and dithered to the
// buffer's bits as the per-cell quads' glColor3f colours are.
//
// None of that is taken on trust. What a driver reports about its buffer
// and how it converts colours differ between drivers (a buffer with fewer
// bits than reported, colour conversion by truncation, antialiasing forced
// on without a sample buffer to show for it, sRGB conversion), so at every
// window size, before the first frame there, a check draws with the fast
// means and with the per-cell ones into the back buffer and reads both back
// at the buffer's full depth (check_at_this_size). The fast drawing is used
// only where everything came back as intended: the cell colours alone for
// the obstacle and density layers, the numbers and lines as well for the
// velocity and grid layers. The check never reaches the front buffer: it
// runs inside a frame, which then clears the buffer and draws itself.
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fast_shaders.hpp"
#include "fluid.hpp"
#include "viewer.hpp"

namespace fluid {

bool fast_drawing = false;

namespace {

// ---- Entry points beyond OpenGL 1.1, looked up at start-up ----------------

PFNGLACTIVETEXTUREPROC active_texture;
PFNGLCREATESHADERPROC create_shader;
PFNGLSHADERSOURCEPROC shader_source;
PFNGLCOMPILESHADERPROC compile_shader;
PFNGLGETSHADERIVPROC get_shader_iv;
PFNGLDELETESHADERPROC delete_shader;
PFNGLCREATEPROGRAMPROC create_program;
PFNGLATTACHSHADERPROC attach_shader;
PFNGLLINKPROGRAMPROC link_program;
PFNGLGETPROGRAMIVPROC get_program_iv;
PFNGLUSEPROGRAMPROC use_program;
PFNGLGETUNIFORMLOCATIONPROC get_uniform_location;
PFNGLUNIFORM1IPROC uniform_1i;
PFNGLUNIFORM3IPROC uniform_3i;

template <class F>
bool look_up(F& f, const char* name) {
    f = reinterpret_cast<F>(glutGetProcAddress(name));
    return f != nullptr;
}

bool look_up_all() {
    return look_up(active_texture, "glActiveTexture") && look_up(create_shader, "glCreateShader") &&
           look_up(shader_source, "glShaderSource") && look_up(compile_shader, "glCompileShader") &&
           look_up(get_shader_iv, "glGetShaderiv") && look_up(delete_shader, "glDeleteShader") &&
           look_up(create_program, "glCreateProgram") && look_up(attach_shader, "glAttachShader") &&
           look_up(link_program, "glLinkProgram") && look_up(get_program_iv, "glGetProgramiv") &&
           look_up(use_program, "glUseProgram") &&
           look_up(get_uniform_location, "glGetUniformLocation") &&
           look_up(uniform_1i, "glUniform1i") && look_up(uniform_3i, "glUniform3i");
}

// The context's major version (0 when it cannot be read).
int gl_major_version() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0;
    if (version == nullptr || std::sscanf(version, "%d", &major) != 1) return 0;
    return major;
}

// Turns off the sRGB conversion of colours written to the framebuffer
// where the GL has the switch: a platform that leaves it on would bend
// every colour and every number. The per-cell drawing gets the same
// framebuffer.
void framebuffer_srgb_off(int major) {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (major >= 3 || (extensions != nullptr && std::strstr(extensions, "framebuffer_sRGB"))) {
        glDisable(GL_FRAMEBUFFER_SRGB);
    }
}

// ---- Shaders ----------------------------------------------------------------

const char* const vertex_source =
    "#version 130\n"
    "void main() { gl_Position = ftransform(); }\n";

// The last pass and the check's reading of copied images (fast_shaders.hpp).
const char* const fragment_source = FLUIDS_GLSL_130 FLUIDS_LAST_PASS;
const char* const check_fragment_source = FLUIDS_GLSL_130 FLUIDS_CHECK_NUMBERS;

// ---- State --------------------------------------------------------------

GLuint program = 0;
GLuint check_program = 0;
GLint cell_px_at = -1, use_segments_at = -1, use_outlines_at = -1;
GLint width_at = -1, base_at = -1, count_at = -1, line_number_at = -1;
GLuint cells_texture = 0;
GLuint segments_texture = 0;  // of the current window size, or 0
GLuint outlines_texture = 0;  // of the current window size, or 0
GLint max_texture_size = 0;
FastDrawingCheck check;  // the latest, at the current window size or before

constexpr int CELLS = GRID_INNER * GRID_INNER;
float texels[CELLS * 2];                        // row i-1, column j-1
float segment_vertices[CELLS * 2 * 2];          // clip x, y of both ends
unsigned char segment_colours[CELLS * 2 * 3];   // the cell's number
float outline_vertices[CELLS * 4 * 2];          // window x, y of 4 corners
unsigned char outline_colours[CELLS * 4 * 3];   // the cell's number
int outlines_width = -1, outlines_height = -1;  // the size they are for
bool outlines_taken = false;                    // the outline image is in outlines_texture
bool window_fully_visible = false;              // as the window system last said

// Bits of each colour channel as the buffer reports them, and the bits of
// each channel that carry a digit of a number: at most the 8 of a colour
// byte.
int buffer_bits[3];
int digit_bits[3];
// The colour bytes of each number 0..CELLS.
unsigned char number_rgb[CELLS + 1][3];

// Whether the back buffer can hold the numbers, one sample a pixel; reads
// its channels' bits. The numbers run up to 126 * 126 = 15876 and need 14
// bits: 5-6-5, 8-8-8 and 10-10-10 buffers have them. A channel too narrow
// for a digit, or one the 16-bit colours cannot address, is refused before
// any level is computed from it. A multisampled buffer would blend the
// numbers of primitives that share a pixel.
bool buffer_holds_numbers() {
    const GLenum names[3] = {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS};
    for (int k = 0; k < 3; ++k) {
        GLint bits = 0;
        glGetIntegerv(names[k], &bits);
        buffer_bits[k] = bits;
    }
    GLint sample_buffers = 1;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sample_buffers);
    return number_digits(buffer_bits, digit_bits) && sample_buffers == 0;
}

// Each number's colour.
void encode_numbers() {
    for (int n = 0; n <= CELLS; ++n) number_colour(n, digit_bits, number_rgb[n]);
}

// The format of the window-sized copies: at least the buffer's bits in
// every channel, so that a copy converts no level (a 10-bit level copied
// to 8 bits would pass a second conversion, which may truncate).
GLint copy_format() {
    const int widest = std::max({buffer_bits[0], buffer_bits[1], buffer_bits[2]});
    return widest <= 8 ? GL_RGBA8 : widest <= 10 ? GL_RGB10_A2 : GL_RGBA16;
}

GLuint new_texture(GLint format, int w, int h, GLenum type) {
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, format, w, h, 0, format == GL_RG32F ? GL_RG : GL_RGBA, type,
                 nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    return t;
}

// Copies the back buffer's lowest `rows` rows (all by default) into a
// window-sized texture, made when missing.
void copy_back_buffer(GLuint& texture, int rows = -1) {
    if (texture == 0)
        texture = new_texture(copy_format(), window_width, window_height, GL_UNSIGNED_BYTE);
    glBindTexture(GL_TEXTURE_2D, texture);
    glReadBuffer(GL_BACK);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, window_width,
                        rows < 0 ? window_height : std::min(rows, window_height));
    glBindTexture(GL_TEXTURE_2D, 0);
}

// The texel of cell (i, j)'s quad colour.
void set_texel(int i, int j, QuadColour q) {
    cell_texel(q, &texels[2 * ((i - 1) * GRID_INNER + (j - 1))]);
}

// The colours of the quads the cells show.
void fill_texels() {
    for (int i = 1; i <= GRID_INNER; ++i) {
        for (int j = 1; j <= GRID_INNER; ++j) set_texel(i, j, shown_quad(cell_index(i, j)));
    }
}

// ---- Drawing numbers ----------------------------------------------------

// The clip coordinates the per-cell transform (projection p times the
// translation to the centre (px, py)) gives the point `e` relative to the
// centre: clip x is fl(fl(e.x * P0) + fl(fl(P0 * px) + P12)) in float, y
// likewise with P5, P13 and py, and the centre itself maps to the second
// term alone. Float arithmetic on purpose: it is the transform's own.
void segment_clip(const float p[16], float px, float py, SegmentEnd e, float out[4]) {
    const float ox = p[0] * px + p[12];
    const float oy = p[5] * py + p[13];
    out[0] = ox;
    out[1] = oy;
    out[2] = e.x * p[0] + ox;
    out[3] = e.y * p[5] + oy;
}

// Appends the segment from (px, py) to `e` in the colour of number n; a
// segment with a non-finite end is left out, as its clip coordinates are
// not numbers and the per-cell one produces no fragment (the check makes
// sure of that).
void add_segment(int& count, const float p[16], float px, float py, SegmentEnd e, int n) {
    if (!std::isfinite(e.x) || !std::isfinite(e.y)) return;
    segment_clip(p, px, py, e, &segment_vertices[4 * count]);
    unsigned char* rgb = &segment_colours[6 * count];
    std::memcpy(rgb, number_rgb[n], sizeof number_rgb[n]);
    std::memcpy(rgb + 3, number_rgb[n], sizeof number_rgb[n]);
    ++count;
}

// Draws `count` primitives of `mode` from the vertex and colour byte
// arrays, each in its flat colour, undithered, so that every digit is
// stored as it was written.
void draw_numbers(GLenum mode, const float* vertices, const unsigned char* colours, int count) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, vertices);
    glColorPointer(3, GL_UNSIGNED_BYTE, 0, colours);
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT);
    glShadeModel(GL_FLAT);
    glDisable(GL_DITHER);
    if (mode == GL_QUADS) glPolygonMode(GL_FRONT, GL_LINE);
    glDrawArrays(mode, 0, count);
    glPopAttrib();
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

// draw_numbers with vertices in clip coordinates: through identity
// matrices, which leave them as they are.
void draw_clip_numbers(GLenum mode, const float* vertices, const unsigned char* colours,
                       int count) {
    if (count == 0) return;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    draw_numbers(mode, vertices, colours, count);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

// Draws every velocity segment into the cleared back buffer in one call,
// in the cells' order, coloured with their numbers.
void draw_segments() {
    float p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    int count = 0;
    for (int i = GRID_INNER; i >= 1; --i) {
        const float py = cell_centre(i);
        for (int j = 1; j <= GRID_INNER; ++j) {
            add_segment(count, p, cell_centre(j), py, segment_end(cell_index(i, j)),
                        number_of(i, j));
        }
    }
    glClear(GL_COLOR_BUFFER_BIT);
    draw_clip_numbers(GL_LINES, segment_vertices, segment_colours, 2 * count);
}

// The outline quads of the current size, in the cells' order, each with the
// corners of the cell quad in its display list's order, in clip
// coordinates as the per-cell transform computes them (segment_clip).
void build_outlines() {
    if (outlines_width == window_width && outlines_height == window_height) return;
    float p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    float corner_x[4], corner_y[4];
    cell_quad_corners(corner_x, corner_y);
    int q = 0;
    for (int i = GRID_INNER; i >= 1; --i) {
        const float py = cell_centre(i);
        for (int j = 1; j <= GRID_INNER; ++j, ++q) {
            const float px = cell_centre(j);
            for (int k = 0; k < 4; ++k) {
                float clip[4];
                segment_clip(p, px, py, {corner_x[k], corner_y[k]}, clip);
                outline_vertices[8 * q + 2 * k] = clip[2];
                outline_vertices[8 * q + 2 * k + 1] = clip[3];
                std::memcpy(&outline_colours[12 * q + 3 * k], number_rgb[number_of(i, j)],
                            sizeof number_rgb[0]);
            }
        }
    }
    outlines_width = window_width;
    outlines_height = window_height;
}

// Draws every grid outline into the cleared back buffer in one call,
// coloured with their numbers.
void draw_outlines() {
    build_outlines();
    glClear(GL_COLOR_BUFFER_BIT);
    draw_clip_numbers(GL_QUADS, outline_vertices, outline_colours, 4 * CELLS);
}

// ---- The last pass ------------------------------------------------------

// Brings the cell image in `texels` up to date in texture unit 0.
void upload_cells() {
    active_texture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, cells_texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GRID_INNER, GRID_INNER, GL_RG, GL_FLOAT, texels);
}

void window_quad(float x0, float y0, float x1, float y1) {
    glBegin(GL_QUADS);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
}

// The last pass with the cell image in `texels`: over the whole window with
// the velocity or grid images, else over the grid's square alone (the
// per-cell quads tile it; elsewhere the cleared black stays).
void composite(bool segments, bool outlines) {
    upload_cells();
    active_texture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, segments ? segments_texture : 0);
    active_texture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, outlines ? outlines_texture : 0);
    use_program(program);
    uniform_1i(cell_px_at, (int)cell_px);
    uniform_1i(use_segments_at, segments ? 1 : 0);
    uniform_1i(use_outlines_at, outlines ? 1 : 0);
    if (segments || outlines) {
        window_quad(0.0f, 0.0f, (float)window_width, (float)window_height);
    } else {
        const float lo = cell_px;
        const float hi = (float)(127.0 * (double)cell_px);
        window_quad(lo, lo, hi, hi);
    }
    use_program(0);
    glBindTexture(GL_TEXTURE_2D, 0);
    active_texture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    active_texture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

// ---- The check ----------------------------------------------------------

// A rectangle of the window, clipped to it.
struct Rect {
    int x0, y0, x1, y1;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

Rect clipped(int x0, int y0, int x1, int y1) {
    return {std::max(x0, 0), std::max(y0, 0), std::min(x1, window_width),
            std::min(y1, window_height)};
}

// The back buffer's pixels in r, four channels of type T (RGBA: the
// layout drivers read back fastest).
template <class T>
std::vector<T> read_back(Rect r, GLenum type) {
    std::vector<T> rgba((size_t)(r.x1 - r.x0) * (size_t)(r.y1 - r.y0) * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0, GL_RGBA, type, rgba.data());
    return rgba;
}

// The back buffer's colour channels in r at the buffer's full depth: bytes
// where no channel has more than 8 bits, 16-bit values otherwise.
std::vector<unsigned short> read_full_depth(Rect r) {
    if (std::max({buffer_bits[0], buffer_bits[1], buffer_bits[2]}) > 8) {
        return read_back<unsigned short>(r, GL_UNSIGNED_SHORT);
    }
    const auto bytes = read_back<unsigned char>(r, GL_UNSIGNED_BYTE);
    return std::vector<unsigned short>(bytes.begin(), bytes.end());
}

// The check program over r, reading the image in segments_texture; what it
// wrote, 8 bits a channel.
std::vector<unsigned char> run_check_program(Rect r) {
    active_texture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, segments_texture);
    use_program(check_program);
    window_quad((float)r.x0, (float)r.y0, (float)r.x1, (float)r.y1);
    use_program(0);
    glBindTexture(GL_TEXTURE_2D, 0);
    return read_back<unsigned char>(r, GL_UNSIGNED_BYTE);
}

// The levels the cell colours are checked with, one a cell: every band's
// channel, the ends and beyond, no quad, and levels at and around the
// places where a buffer of `bits` bits rounds from one level to the next
// (where rounding and truncation part), between a spread of levels whose
// fractions of a level cover the whole step.
QuadColour test_colour(int k, int bits) {
    const int channel = k % 3;
    const double top = (double)((1L << bits) - 1);
    // The level below the rounding place tried, spread over the channel.
    const long q = ((long)k * 37 + k / 8) % (long)top;
    switch (k % 8) {
        case 0:
            return {channel, (float)(0.6180339887498949 * k - std::floor(0.6180339887498949 * k))};
        case 1:
            return {channel, (float)((q + 0.5) / top)};
        case 2:
            return {channel, std::nextafter((float)((q + 0.5) / top), 0.0f)};
        case 3:
            return {channel, std::nextafter((float)((q + 0.5) / top), 2.0f)};
        case 4:
            return {channel, (float)((q) / top)};
        case 5:
            return k % 3 == 0 ? QuadColour{} : QuadColour{channel, k % 2 == 0 ? 1.0f : 7.0f};
        case 6:
            return {channel, (float)((q + 1.0) / top - 1e-7)};
        default:
            return {channel, k % 5 == 0 ? 0.0f : (float)std::sqrt(k / 630.0)};
    }
}

// The check draws and reads in the window's lowest rows only: those of
// every number, and of the bottom rows of cells, where it draws its quads,
// segments and outlines (segments that leave those rows are compared where
// they cross them).
constexpr int check_rows = 3;

int region_rows() {
    const int numbers = (CELLS + window_width - 1) / window_width;
    return std::min(window_height, std::max(numbers, (check_rows + 1) * (int)cell_px));
}

// The cell colours: per-cell quads against the last pass's float texels,
// over the cells of the bottom rows, compared at the buffer's full depth.
bool check_cell_colours() {
    // One row: a per-cell quad of a colour of its own is the check's
    // costliest primitive.
    const int rows = 1;
    const int px = (int)cell_px;
    const Rect r = clipped(px, px, 127 * px, (rows + 1) * px);
    if (r.empty()) return true;  // no cell shows at all
    std::fill(std::begin(texels), std::end(texels), 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            const int k = (i - 1) * GRID_INNER + j - 1;
            const QuadColour q = test_colour(k, buffer_bits[k % 3]);
            set_texel(i, j, q);
            draw_quad(q, cell_centre(j), cell_centre(i));
        }
    }
    const auto per_cell = read_full_depth(r);
    glClear(GL_COLOR_BUFFER_BIT);
    composite(false, false);
    return read_full_depth(r) == per_cell;
}

// Every number, written as the images write them (decoys first, then the
// numbers over them, so that the latest must win), copied and read back
// through the last pass's reading, pixel by pixel.
bool check_numbers() {
    const int w = window_width;
    const long pixels = (long)w * window_height;
    if ((CELLS + pixels - 1) / pixels > 64) return false;  // a sliver of a window
    std::vector<float> vertices;
    std::vector<unsigned char> colours;
    use_program(check_program);
    uniform_1i(width_at, w);
    uniform_1i(line_number_at, 0);
    use_program(0);
    for (int base = 0; base < CELLS; base += (int)pixels) {
        const int count = (int)std::min<long>(CELLS - base, pixels);
        vertices.clear();
        colours.clear();
        for (int pass = 0; pass < 2; ++pass) {
            for (int k = 0; k < count; ++k) {
                const int n = base + k + 1;
                const int decoy = (int)(((long)n * 7919 + 5) % CELLS) + 1;
                vertices.push_back((float)(k % w) + 0.5f);
                vertices.push_back((float)(k / w) + 0.5f);
                const unsigned char* rgb = number_rgb[pass == 1 ? n : decoy != n ? decoy : 0];
                colours.insert(colours.end(), rgb, rgb + 3);
            }
        }
        glClear(GL_COLOR_BUFFER_BIT);
        draw_numbers(GL_POINTS, vertices.data(), colours.data(), 2 * count);
        copy_back_buffer(segments_texture, (count + w - 1) / w);
        use_program(check_program);
        uniform_1i(base_at, base);
        uniform_1i(count_at, count);
        use_program(0);
        const auto ok = run_check_program(clipped(0, 0, w, (count + w - 1) / w));
        for (size_t k = 0; k < ok.size(); k += 4) {
            if (ok[k] != 255) return false;
        }
    }
    return true;
}

// Segments and outlines: drawn white by the per-cell means, then in one
// number's colour by the fast means; every pixel of the copied image must
// read as that number or as 0 (lines leave no blend of colours behind, as
// with several samples a pixel), and exactly where the per-cell lines are.
bool check_lines() {
    static const float velocities[] = {0.0f,   0.013f, -0.05f, 0.11f, -0.3f,  0.77f, 1.0f,
                                       -1.4f,  2.5f,   -6.0f,  40.0f, 1e4f,   -3e5f, 0.25f,
                                       -0.75f, 0.5f,   1e-7f,  1e38f, -1e38f, 0.1f};
    const float non_finite[] = {std::nanf(""), INFINITY, -INFINITY};
    const int segments = 240, outline_rows = check_rows;
    float p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    auto cell_of = [](int k, int& i, int& j) {
        i = 1 + k % check_rows;
        j = 1 + (k * 53 + k / GRID_INNER) % GRID_INNER;
    };
    auto velocity_of = [&](int k, int axis) {
        if (k % 50 == 7) return non_finite[(k / 50 + axis) % 3];
        return velocities[(k * (axis + 3) + axis) % 20] * (k % 2 == 0 ? 1.0f : -0.37f);
    };
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3ub(255, 255, 255);
    for (int k = 0; k < segments; ++k) {
        int i = 0, j = 0;
        cell_of(k, i, j);
        draw_segment_at(segment_end_of(velocity_of(k, 0), velocity_of(k, 1)), cell_centre(j),
                        cell_centre(i));
    }
    glPushAttrib(GL_POLYGON_BIT);
    glPolygonMode(GL_FRONT, GL_LINE);
    for (int i = outline_rows; i >= 1; --i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            glPushMatrix();
            glTranslatef(cell_centre(j), cell_centre(i), 0.0f);
            glCallList(cell_quad);
            glPopMatrix();
        }
    }
    glPopAttrib();
    const Rect all = clipped(0, 0, window_width, region_rows());
    const auto per_cell = read_back<unsigned char>(all, GL_UNSIGNED_BYTE);

    const int number = CELLS;  // digits in every channel of a 5-6-5 buffer
    int count = 0;
    for (int k = 0; k < segments; ++k) {
        int i = 0, j = 0;
        cell_of(k, i, j);
        add_segment(count, p, cell_centre(j), cell_centre(i),
                    segment_end_of(velocity_of(k, 0), velocity_of(k, 1)), number);
    }
    // The bottom rows' outlines from the frames' own vertices, in one colour.
    build_outlines();
    const int first = CELLS - outline_rows * GRID_INNER;
    std::vector<unsigned char> one_colour((size_t)outline_rows * GRID_INNER * 4 * 3);
    for (size_t k = 0; k < one_colour.size(); ++k) one_colour[k] = number_rgb[number][k % 3];
    glClear(GL_COLOR_BUFFER_BIT);
    draw_clip_numbers(GL_LINES, segment_vertices, segment_colours, 2 * count);
    draw_clip_numbers(GL_QUADS, outline_vertices + 8 * first, one_colour.data(),
                      4 * outline_rows * GRID_INNER);
    copy_back_buffer(segments_texture, all.y1);
    use_program(check_program);
    uniform_1i(line_number_at, number);
    use_program(0);
    const auto fast = run_check_program(all);
    use_program(check_program);
    uniform_1i(line_number_at, 0);
    use_program(0);
    for (size_t k = 0; k < fast.size(); k += 4) {
        const bool white = per_cell[k] == 255 && per_cell[k + 1] == 255 && per_cell[k + 2] == 255;
        const bool black = per_cell[k] == 0 && per_cell[k + 1] == 0 && per_cell[k + 2] == 0;
        if (fast[k] != 255 || !(white || black) || (fast[k + 1] == 255) != white) return false;
    }
    return true;
}

// Whether the back buffer already has the window's size: a driver may
// resize it only at the first swap after the window's own resize, and a
// check in a buffer smaller than the window would miss pixels.
bool buffer_has_window_size() {
    unsigned char rgb[3] = {0, 0, 0};
    glPushAttrib(GL_SCISSOR_BIT | GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(window_width - 1, window_height - 1, 1, 1);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glPopAttrib();
    glReadBuffer(GL_BACK);
    glReadPixels(window_width - 1, window_height - 1, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return rgb[0] == 255 && rgb[1] == 255 && rgb[2] == 255;
}

FastDrawingCheck check_at_this_size() {
    const auto start = std::chrono::steady_clock::now();
    FastDrawingCheck result;
    result.width = window_width;
    result.height = window_height;
    while (glGetError() != GL_NO_ERROR) {
    }
    glPushAttrib(GL_CURRENT_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPushAttrib(GL_SCISSOR_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, window_width, region_rows());
    result.cells = check_cell_colours();
    result.numbers = result.cells && check_numbers() && check_lines();
    glPopAttrib();
    glPopClientAttrib();
    glPopAttrib();
    if (glGetError() != GL_NO_ERROR) result.cells = result.numbers = false;
    glClear(GL_COLOR_BUFFER_BIT);
    result.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return result;
}

// ---- Set-up -------------------------------------------------------------

GLuint compile(GLenum kind, const char* source) {
    const GLuint s = create_shader(kind);
    shader_source(s, 1, &source, nullptr);
    compile_shader(s);
    GLint ok = GL_FALSE;
    get_shader_iv(s, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        delete_shader(s);
        return 0;
    }
    return s;
}

// A linked program of the two sources, or 0.
GLuint link(const char* vertex, const char* fragment) {
    const GLuint vs = compile(GL_VERTEX_SHADER, vertex);
    const GLuint fs = compile(GL_FRAGMENT_SHADER, fragment);
    GLuint p = 0;
    if (vs != 0 && fs != 0) {
        p = create_program();
        attach_shader(p, vs);
        attach_shader(p, fs);
        link_program(p);
    }
    if (vs != 0) delete_shader(vs);
    if (fs != 0) delete_shader(fs);
    GLint ok = GL_FALSE;
    if (p != 0) get_program_iv(p, GL_LINK_STATUS, &ok);
    return ok == GL_TRUE ? p : 0;
}

// The digits' top values, for the programs that read numbers.
bool set_levels(GLuint p) {
    use_program(p);
    const GLint at = get_uniform_location(p, "levels");
    uniform_3i(at, (1 << digit_bits[0]) - 1, (1 << digit_bits[1]) - 1, (1 << digit_bits[2]) - 1);
    use_program(0);
    return at >= 0;
}

bool build_programs() {
    program = link(vertex_source, fragment_source);
    check_program = link(vertex_source, check_fragment_source);
    if (program == 0 || check_program == 0) return false;
    // Samplers default to texture unit 0, where the cell image is.
    use_program(program);
    uniform_1i(get_uniform_location(program, "segments"), 1);
    uniform_1i(get_uniform_location(program, "outlines"), 2);
    use_program(0);
    cell_px_at = get_uniform_location(program, "cell_px");
    use_segments_at = get_uniform_location(program, "use_segments");
    use_outlines_at = get_uniform_location(program, "use_outlines");
    width_at = get_uniform_location(check_program, "width");
    base_at = get_uniform_location(check_program, "base");
    count_at = get_uniform_location(check_program, "count");
    line_number_at = get_uniform_location(check_program, "line_number");
    return set_levels(program) && set_levels(check_program) && cell_px_at >= 0 &&
           use_segments_at >= 0 && use_outlines_at >= 0 && width_at >= 0 && base_at >= 0 &&
           count_at >= 0 && line_number_at >= 0;
}

}  // namespace

bool init_fast_drawing() {
    fast_drawing = false;
    segments_texture = outlines_texture = 0;  // of an earlier context, if any
    outlines_width = outlines_height = -1;
    outlines_taken = false;
    check = {};
    const int major = gl_major_version();
    framebuffer_srgb_off(major);
    if (major < 3 || !buffer_holds_numbers() || !look_up_all() || !build_programs()) {
        return false;
    }
    encode_numbers();
    cells_texture = new_texture(GL_RG32F, GRID_INNER, GRID_INNER, GL_FLOAT);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_texture_size);
    fast_drawing = glGetError() == GL_NO_ERROR;
    return fast_drawing;
}

void resize_fast_drawing() {
    if (!fast_drawing) return;
    glDeleteTextures(1, &segments_texture);
    glDeleteTextures(1, &outlines_texture);
    segments_texture = outlines_texture = 0;
    outlines_taken = false;
}

void window_pixels_changed(bool fully_visible) {
    window_fully_visible = fully_visible;
    outlines_taken = false;
    // A check that failed while part of the window was hidden may have read
    // pixels the window did not own: it is made again.
    if (fully_visible && !check.numbers) check = {};
}

void window_moved() {
    outlines_taken = false;
}

FastDrawingCheck fast_drawing_check() {
    return check;
}

bool draw_cells_fast() {
    // Cells under a pixel and windows wider than a texture are left to the
    // per-cell drawing.
    if (!fast_drawing || cell_px < 1.0f || window_width > max_texture_size ||
        window_height > max_texture_size) {
        return false;
    }
    // Checked again at every new size, once the buffer has that size; until
    // then the frames (drawn in a buffer that is not yet the window's) keep
    // the verdict of the size before, and the first frames of a context the
    // per-cell drawing.
    if ((check.width != window_width || check.height != window_height) &&
        buffer_has_window_size()) {
        check = check_at_this_size();
    }
    if (check.width == 0) return false;
    const bool lines = show_velocity != 0 || show_grid != 0;
    if (!(lines ? check.numbers : check.cells)) return false;
    // The outline image is kept while the window shows all its pixels: it
    // was taken then, or is taken again now. While part of the window is
    // covered or off the screen it is taken every frame, as the pixels the
    // window owns may change with no event.
    if (show_grid != 0 && (!outlines_taken || !window_fully_visible)) {
        draw_outlines();
        copy_back_buffer(outlines_texture);
        outlines_taken = true;
    }
    if (show_velocity != 0) {
        draw_segments();
        copy_back_buffer(segments_texture);
    }
    if (lines || show_obstacles != 0 || show_density != 0) {
        fill_texels();
        composite(show_velocity != 0, show_grid != 0);
    }
    return true;
}

}  // namespace fluid
