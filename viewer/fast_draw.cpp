// fast_draw.cpp - all four layers in a handful of primitives a frame, with
// the pixels of the per-cell sequence.
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
//   - the grid outlines depend only on the window size: they are drawn the
//     same way, cell by cell with the per-cell primitives, once per size.
//
// The segments and outlines are rasterised in the window's own back buffer,
// where the per-cell sequence draws them, so they cover the same pixels (in
// a framebuffer object of the window's size, tried on Mesa, the same lines
// cover other pixels, most of all those that leave the window). A
// segment's clip coordinates are computed here exactly as the per-cell
// transform computes them. A number is written as one digit a colour
// channel, each digit as wide as the channel the buffer really has (5-6-5,
// 8-8-8, or 8 of each 10 bits), with dithering off so that every digit is
// stored exactly; a buffer with fewer than 14 bits, or with several samples
// a pixel, gets the per-cell drawing instead.
//
// In the last pass a cell's quad has order 4n+1, its segment 4n+2 and its
// outline 4n+3 (n counts cells from the top row, left to right); the
// highest order covering a pixel gives its colour. Colours reach the
// framebuffer as the float colours of glColor3f and glColor3ub do: a float
// texel or constant written unchanged as the fragment colour, then rounded
// and dithered to the buffer's bits as the per-cell quads are (dithering is
// on there, as in the per-cell drawing).
//
// The segment image is drawn every frame, and a pixel of the window reads
// only its own number, so pixels of the back buffer that a covered part of
// the window may not own do not matter. The outline image is kept across
// frames: pixels not owned when it was taken could be read once they show,
// so it is taken again whenever the window's visibility changes
// (on_window_status).
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdio>

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

// Whether the context is OpenGL 3.0 or later: float textures, GLSL 1.30
// with integer texel fetches.
bool context_has_features() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0;
    return version != nullptr && std::sscanf(version, "%d", &major) == 1 && major >= 3;
}

// The colour of a cell texel: the level in the channel it names.
#define QUAD_COLOUR                                                                            \
    "vec4 quad_colour(vec2 t) {\n"                                                             \
    "    return vec4(t.g == 1.0 ? t.r : 0.0, t.g == 2.0 ? t.r : 0.0, t.g == 3.0 ? t.r : 0.0, " \
    "1.0);\n"                                                                                  \
    "}\n"

// The last pass: per pixel, the latest of the cell's quad, the latest
// segment and the latest outline over it.
const char* const vertex_source =
    "#version 130\n"
    "void main() { gl_Position = ftransform(); }\n";
const char* const fragment_source =
    "#version 130\n"
    "uniform sampler2D cells;     // 126 x 126: level, band (0 where no quad is drawn)\n"
    "uniform sampler2D segments;  // window-sized: latest segment's cell number + 1\n"
    "uniform sampler2D outlines;  // window-sized: latest outline's cell number + 1\n"
    "uniform int cell_px, use_segments, use_outlines;\n"
    "uniform ivec3 levels;        // the top value of each channel's digit\n" QUAD_COLOUR
    "int number(sampler2D image, ivec2 p) {\n"
    "    ivec3 d = ivec3(texelFetch(image, p, 0).rgb * vec3(levels) + 0.5);\n"
    "    return (d.r * (levels.g + 1) + d.g) * (levels.b + 1) + d.b;\n"
    "}\n"
    "void main() {\n"
    "    ivec2 p = ivec2(gl_FragCoord.xy);\n"
    "    ivec2 c = p / cell_px;  // column j, row i\n"
    "    int latest = 0;\n"
    "    vec4 colour = vec4(0.0, 0.0, 0.0, 1.0);\n"
    "    if (c.x >= 1 && c.x <= 126 && c.y >= 1 && c.y <= 126) {\n"
    "        vec2 t = texelFetch(cells, c - 1, 0).rg;\n"
    "        if (t.g != 0.0) {\n"
    "            latest = 4 * ((126 - c.y) * 126 + c.x - 1) + 1;\n"
    "            colour = quad_colour(t);\n"
    "        }\n"
    "    }\n"
    "    if (use_segments != 0) {\n"
    "        int n = number(segments, p);\n"
    "        if (n > 0 && 4 * (n - 1) + 2 > latest) {\n"
    "            latest = 4 * (n - 1) + 2;\n"
    "            colour = vec4(1.0, 0.0, 0.0, 1.0);\n"
    "        }\n"
    "    }\n"
    "    if (use_outlines != 0) {\n"
    "        int n = number(outlines, p);\n"
    "        if (n > 0 && 4 * (n - 1) + 3 > latest) colour = vec4(0.0, 1.0, 0.0, 1.0);\n"
    "    }\n"
    "    gl_FragColor = colour;\n"
    "}\n";

// With the velocity and grid layers off: the cell image on one quad over
// the grid, each pixel taking its cell's texel.
const char* const cells_vertex_source =
    "#version 130\n"
    "void main() {\n"
    "    gl_Position = ftransform();\n"
    "    gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "}\n";
const char* const cells_fragment_source =
    "#version 130\n"
    "uniform sampler2D cells;\n" QUAD_COLOUR
    "void main() { gl_FragColor = quad_colour(texture(cells, gl_TexCoord[0].st).rg); }\n";

GLuint program = 0;
GLuint cells_program = 0;
GLint cell_px_at = -1, use_segments_at = -1, use_outlines_at = -1, levels_at = -1;
GLuint cells_texture = 0;
GLuint segments_texture = 0;  // of the current window size, or 0
GLuint outlines_texture = 0;  // of the current window size, or 0
bool outlines_drawn = false;
GLint max_texture_size = 0;

constexpr int CELLS = GRID_INNER * GRID_INNER;
float texels[CELLS * 2];                       // row i-1, column j-1
float segment_vertices[CELLS * 2 * 2];         // clip x, y of both ends
unsigned char segment_colours[CELLS * 2 * 3];  // the cell's number + 1

// Bits of each colour channel that carry a digit of a cell number: what
// the back buffer keeps of the channel, at most the 8 of the textures the
// numbers are copied to.
int digit_bits[3];

// The painter's number of cell (i, j) plus one, as three digits of
// digit_bits[k] bits, one a colour byte: digit d of a b-bit channel as the
// byte nearest to d * 255 / (2^b - 1), which the buffer rounds back to level
// d (within an eighth of a level for b >= 5; the byte itself for b = 8).
// Dithering is off while numbers are drawn, so the level is stored as it is.
void number_colour(int i, int j, unsigned char rgb[3]) {
    int n = (GRID_INNER - i) * GRID_INNER + (j - 1) + 1;
    for (int k = 2; k >= 0; --k) {
        const int top = (1 << digit_bits[k]) - 1;
        rgb[k] = (unsigned char)(((n & top) * 255 + top / 2) / top);
        n >>= digit_bits[k];
    }
}

// Whether the back buffer can hold the numbers and keeps one sample a
// pixel; reads the channels' bits into digit_bits. The numbers run up to
// 126 * 126 = 15876 and need 14 bits: 5-6-5, 8-8-8 and 10-10-10 buffers
// have them. A multisampled buffer would blend the numbers of primitives
// that share a pixel.
bool buffer_holds_numbers() {
    const GLenum names[3] = {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS};
    int total = 0;
    for (int k = 0; k < 3; ++k) {
        GLint bits = 0;
        glGetIntegerv(names[k], &bits);
        digit_bits[k] = bits < 8 ? bits : 8;
        total += digit_bits[k];
    }
    GLint sample_buffers = 1;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sample_buffers);
    return (1 << total) > CELLS && sample_buffers == 0;
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

// Copies the back buffer into a window-sized texture, made when missing.
void copy_back_buffer(GLuint& texture) {
    if (texture == 0)
        texture = new_texture(GL_RGBA8, window_width, window_height, GL_UNSIGNED_BYTE);
    glBindTexture(GL_TEXTURE_2D, texture);
    glReadBuffer(GL_BACK);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, window_width, window_height);
    glBindTexture(GL_TEXTURE_2D, 0);
}

// The colours of the quads the cells show: the level, clamped to 1 as GL
// clamps a colour, and its channel + 1 (0 where no quad is drawn).
void fill_texels() {
    for (int i = 1; i <= GRID_INNER; ++i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            const QuadColour q = shown_quad(cell_index(i, j));
            float* t = &texels[2 * ((i - 1) * GRID_INNER + (j - 1))];
            t[0] = q.channel < 0 ? 0.0f : q.level < 1.0f ? q.level : 1.0f;
            t[1] = (float)(q.channel + 1);
        }
    }
}

// Draws every velocity segment into the cleared back buffer in one call,
// in the cells' order, coloured with their numbers. The per-cell sequence
// maps the segment's end e through projection times translation: clip x
// is fl(fl(e.x * P0) + fl(fl(P0 * px) - 1)) in float, y likewise with P5
// and py, and the start maps to the translation term alone. Here those clip
// coordinates go through identity matrices. Segments with a non-finite end
// are left out: their clip coordinates are not numbers, and such a segment
// produces no fragment.
void draw_segments() {
    float p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    const float sx = p[0], sy = p[5], tx = p[12], ty = p[13];
    int count = 0;
    for (int i = GRID_INNER; i >= 1; --i) {
        // Float arithmetic on purpose: it is the transform's own.
        const float oy = sy * cell_centre(i) + ty;
        for (int j = 1; j <= GRID_INNER; ++j) {
            const int c = cell_index(i, j);
            const float ex = (float)((double)u[c] * (double)cell_px * 10.0);
            const float ey = (float)((double)v[c] * (double)cell_px * 10.0);
            if (!std::isfinite(ex) || !std::isfinite(ey)) continue;
            const float ox = sx * cell_centre(j) + tx;
            float* s = &segment_vertices[4 * count];
            s[0] = ox;
            s[1] = oy;
            s[2] = ex * sx + ox;
            s[3] = ey * sy + oy;
            unsigned char* rgb = &segment_colours[6 * count];
            number_colour(i, j, rgb);
            rgb[3] = rgb[0];
            rgb[4] = rgb[1];
            rgb[5] = rgb[2];
            ++count;
        }
    }
    glClear(GL_COLOR_BUFFER_BIT);
    if (count == 0) return;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, segment_vertices);
    glColorPointer(3, GL_UNSIGNED_BYTE, 0, segment_colours);
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT);  // dithering, shading
    glShadeModel(GL_FLAT);
    glDisable(GL_DITHER);
    glDrawArrays(GL_LINES, 0, 2 * count);
    glPopAttrib();
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

// Draws the grid outlines of the current size into the cleared back buffer
// cell by cell with the per-cell primitives, coloured with their numbers.
void draw_outlines() {
    glClear(GL_COLOR_BUFFER_BIT);
    glPushAttrib(GL_POLYGON_BIT | GL_COLOR_BUFFER_BIT);
    glPolygonMode(GL_FRONT, GL_LINE);
    glDisable(GL_DITHER);
    for (int i = GRID_INNER; i >= 1; --i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            unsigned char rgb[3];
            number_colour(i, j, rgb);
            glColor3ub(rgb[0], rgb[1], rgb[2]);
            glPushMatrix();
            glTranslatef(cell_centre(j), cell_centre(i), 0.0f);
            glCallList(cell_quad);
            glPopMatrix();
        }
    }
    glPopAttrib();
}

// Brings the cell image up to date in texture unit 0.
void upload_cells() {
    fill_texels();
    active_texture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, cells_texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GRID_INNER, GRID_INNER, GL_RG, GL_FLOAT, texels);
}

// The cell image alone, on one quad over the grid; the per-cell quads tile
// the same square.
void draw_cell_image() {
    upload_cells();
    use_program(cells_program);
    const float lo = cell_px;
    const float hi = (float)(127.0 * (double)cell_px);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(lo, hi);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(lo, lo);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(hi, lo);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(hi, hi);
    glEnd();
    use_program(0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

// One quad over the whole window through the last pass.
void composite() {
    upload_cells();
    active_texture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, show_velocity != 0 ? segments_texture : 0);
    active_texture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, show_grid != 0 ? outlines_texture : 0);
    use_program(program);
    uniform_1i(cell_px_at, (int)cell_px);
    uniform_1i(use_segments_at, show_velocity);
    uniform_1i(use_outlines_at, show_grid);
    const float w = (float)window_width, h = (float)window_height;
    glBegin(GL_QUADS);
    glVertex2f(0.0f, 0.0f);
    glVertex2f(w, 0.0f);
    glVertex2f(w, h);
    glVertex2f(0.0f, h);
    glEnd();
    use_program(0);
    glBindTexture(GL_TEXTURE_2D, 0);
    active_texture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    active_texture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

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

bool build_programs() {
    program = link(vertex_source, fragment_source);
    cells_program = link(cells_vertex_source, cells_fragment_source);
    if (program == 0 || cells_program == 0) return false;
    // Samplers default to texture unit 0, where the cell image is.
    use_program(program);
    uniform_1i(get_uniform_location(program, "segments"), 1);
    uniform_1i(get_uniform_location(program, "outlines"), 2);
    levels_at = get_uniform_location(program, "levels");
    uniform_3i(levels_at, (1 << digit_bits[0]) - 1, (1 << digit_bits[1]) - 1,
               (1 << digit_bits[2]) - 1);
    use_program(0);
    cell_px_at = get_uniform_location(program, "cell_px");
    use_segments_at = get_uniform_location(program, "use_segments");
    use_outlines_at = get_uniform_location(program, "use_outlines");
    return cell_px_at >= 0 && use_segments_at >= 0 && use_outlines_at >= 0 && levels_at >= 0;
}

}  // namespace

bool init_fast_drawing() {
    fast_drawing = false;
    segments_texture = outlines_texture = 0;  // of an earlier context, if any
    outlines_drawn = false;
    if (!context_has_features() || !buffer_holds_numbers() || !look_up_all() || !build_programs()) {
        return false;
    }
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
    outlines_drawn = false;
}

void redraw_outlines() {
    outlines_drawn = false;
}

bool draw_cells_fast() {
    // Cells under a pixel and windows wider than a texture are left to the
    // per-cell drawing.
    if (!fast_drawing || cell_px < 1.0f || window_width > max_texture_size ||
        window_height > max_texture_size) {
        return false;
    }
    if (show_grid != 0 && !outlines_drawn) {
        draw_outlines();
        copy_back_buffer(outlines_texture);
        outlines_drawn = true;
    }
    if (show_velocity != 0) {
        draw_segments();
        copy_back_buffer(segments_texture);
    }
    if (show_velocity != 0 || show_grid != 0) {
        composite();
    } else if (show_obstacles != 0 || show_density != 0) {
        draw_cell_image();
    }
    return true;
}

}  // namespace fluid
