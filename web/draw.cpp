// draw.cpp - the four layers in WebGL2, with the pixels of the per-cell
// sequence.
//
// The per-cell sequence paints, cell after cell from the top row down and
// left to right, the cell's quad, its velocity segment and its grid outline;
// a pixel shows the latest primitive over it. WebGL has no quads, no
// line-mode polygons and no immediate mode, so the literal drawing puts
// every primitive into one vertex buffer in that order (a quad as two
// triangles with the corners of the desktop's cell quad, a segment as one
// line, an outline as four lines between the quad's corners) and draws it
// in runs of one primitive type, so that the GL paints the primitives in
// exactly the per-cell order. It is the reference, and the drawing wherever
// the fast one is not proven.
//
// The fast drawing is the desktop's (fast_shaders.hpp, the numbers and
// texels of fast_numbers.cpp): a cell image of quad colours, an image of
// the latest segment's cell number at every pixel and one of the latest
// outline's, and one last pass that picks per pixel the latest of the
// three. The number images are drawn with the same vertices as the literal
// lines, in the drawing buffer where those are drawn, and copied to
// textures. Unlike a desktop window, the drawing buffer owns all its
// pixels, so the outline image is drawn once a size and kept.
//
// A check at every new size of the drawing buffer, in its lowest rows
// before a frame clears it (so it is never shown), writes every number and
// reads it back through the last pass's reading, then draws a test scene of
// the bottom cells with all four layers both ways and compares the pixels.
// The fast drawing is used only where both come back exact.
#include "draw.hpp"

#include <GLES3/gl3.h>
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "fast_shaders.hpp"
#include "fluid.hpp"
#include "viewer.hpp"

namespace fluid::web {

namespace {

// ---- Shaders ------------------------------------------------------------------

// Window pixels to clip coordinates as the desktop's orthographic
// projection maps them (a scale of 2/size in float, then -1); every
// fragment of a primitive takes its colour as given, as the desktop's
// current colour is. The literal primitives and the numbers share it.
const char* const VERTEX_SHADER = R"(#version 300 es
in vec2 position;
in vec3 colour;
uniform vec2 scale;
flat out vec3 primitive_colour;
void main() {
    gl_Position = vec4(position * scale - 1.0, 0.0, 1.0);
    gl_PointSize = 1.0;
    primitive_colour = colour;
}
)";

const char* const FRAGMENT_SHADER = R"(#version 300 es
precision highp float;
flat in vec3 primitive_colour;
out vec4 fragment_colour;
void main() {
    fragment_colour = vec4(primitive_colour, 1.0);
}
)";

// One triangle over the whole buffer, for the passes that work per pixel.
const char* const COVER_SHADER = R"(#version 300 es
void main() {
    vec2 corner = vec2(float((gl_VertexID & 1) * 4 - 1), float((gl_VertexID & 2) * 2 - 1));
    gl_Position = vec4(corner, 0.0, 1.0);
}
)";

const char* const LAST_PASS_SHADER = FLUIDS_GLSL_ES_300 FLUIDS_LAST_PASS;
const char* const CHECK_SHADER = FLUIDS_GLSL_ES_300 FLUIDS_CHECK_NUMBERS;

// ---- State ----------------------------------------------------------------------

struct LiteralVertex {
    float x, y;
    float r, g, b;
};

// The colour is four bytes, a format every WebGL2 takes as it is (three
// bytes may be widened on the CPU at every draw).
struct NumberVertex {
    float x, y;
    unsigned char rgb[4];
};

constexpr float RED[3] = {1.0f, 0.0f, 0.0f};
constexpr float GREEN[3] = {0.0f, 1.0f, 0.0f};

GLuint lines_program = 0;  // the literal primitives and the numbers
GLuint last_program = 0;
GLuint check_program = 0;
GLint scale_at = -1, cell_px_at = -1, use_segments_at = -1, use_outlines_at = -1;
GLint width_at = -1, base_at = -1, count_at = -1, line_number_at = -1;

// Vertex arrays and buffers: the literal primitives', the numbers' drawn
// each frame (segments, the check's points) and the outlines' numbers.
enum { LITERAL, NUMBERS, OUTLINES, LISTS };
GLuint arrays[LISTS];
GLuint buffers[LISTS];
GLuint empty_array = 0;  // for the passes that make their own vertices

GLuint cells_texture = 0;
GLuint segments_texture = 0;  // of the buffer's size
GLuint outlines_texture = 0;  // of the buffer's size
GLint max_texture_size = 0;

// The buffer's digits a channel and every number's colour.
int digit_bits[3] = {0, 0, 0};
bool numbers_fit = false;
unsigned char number_rgb[NUMBERED_CELLS + 1][3];

float texels[NUMBERED_CELLS * 2];

struct Run {
    GLenum mode;
    GLint first;
    GLsizei count;
};
std::vector<LiteralVertex> literal_vertices;
std::vector<Run> literal_runs;
std::vector<NumberVertex> number_vertices;
std::vector<NumberVertex> outline_vertices;
bool outlines_drawn = false;  // the outline image of this size is in outlines_texture

bool literal_forced = false;
bool last_fast = false;
bool check_due = true;
DrawingCheck check;
int width = 0;
int height = 0;

// ---- The cells' primitives ----------------------------------------------------

// The window corners of cell (i, j)'s quad, as the desktop's translated cell
// quad has them (the sums are exact).
void quad_corners(int i, int j, float x[4], float y[4]) {
    float corner_x[4], corner_y[4];
    cell_quad_corners(corner_x, corner_y);
    for (int k = 0; k < 4; ++k) {
        x[k] = cell_centre(j) + corner_x[k];
        y[k] = cell_centre(i) + corner_y[k];
    }
}

// A segment with a non-finite end is left out of both drawings: its clip
// coordinates are not numbers, the GL leaves what such a line draws
// undefined (the desktop's per-cell drawing shows nothing for it), and a
// software rasteriser can take seconds over one.
bool drawn(SegmentEnd e) {
    return std::isfinite(e.x) && std::isfinite(e.y);
}

void add_literal(GLenum mode, std::initializer_list<LiteralVertex> v) {
    if (literal_runs.empty() || literal_runs.back().mode != mode) {
        literal_runs.push_back({mode, (GLint)literal_vertices.size(), 0});
    }
    literal_vertices.insert(literal_vertices.end(), v);
    literal_runs.back().count += (GLsizei)v.size();
}

LiteralVertex lv(float x, float y, const float rgb[3]) {
    return {x, y, rgb[0], rgb[1], rgb[2]};
}

NumberVertex nv(float x, float y, int n) {
    return {x, y, {number_rgb[n][0], number_rgb[n][1], number_rgb[n][2], 255}};
}

// The literal sequence of rows top_row down to 1: quad_of(c) and
// segment_of(c) give cell c's quad colour and segment end.
template <class QuadOf, class SegmentOf>
void literal_sequence(int top_row, QuadOf quad_of, SegmentOf segment_of, bool velocity, bool grid) {
    literal_vertices.clear();
    literal_runs.clear();
    for (int i = top_row; i >= 1; --i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            const int c = cell_index(i, j);
            const float px = cell_centre(j), py = cell_centre(i);
            float x[4], y[4];
            quad_corners(i, j, x, y);
            const QuadColour q = quad_of(c);
            if (q.channel >= 0) {
                float rgb[3] = {0.0f, 0.0f, 0.0f};
                rgb[q.channel] = q.level;
                add_literal(GL_TRIANGLES,
                            {lv(x[0], y[0], rgb), lv(x[1], y[1], rgb), lv(x[2], y[2], rgb),
                             lv(x[0], y[0], rgb), lv(x[2], y[2], rgb), lv(x[3], y[3], rgb)});
            }
            const SegmentEnd e = velocity ? segment_of(c) : SegmentEnd{0.0f, 0.0f};
            if (velocity && drawn(e)) {
                add_literal(GL_LINES, {lv(px, py, RED), lv(px + e.x, py + e.y, RED)});
            }
            if (grid) {
                for (int k = 0; k < 4; ++k) {
                    add_literal(GL_LINES,
                                {lv(x[k], y[k], GREEN), lv(x[(k + 1) % 4], y[(k + 1) % 4], GREEN)});
                }
            }
        }
    }
}

// The segments of rows top_row down to 1, each coloured with its cell's
// number, in the per-cell order.
template <class SegmentOf>
void segment_numbers(int top_row, SegmentOf segment_of) {
    number_vertices.clear();
    for (int i = top_row; i >= 1; --i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            const SegmentEnd e = segment_of(cell_index(i, j));
            if (!drawn(e)) continue;
            const float px = cell_centre(j), py = cell_centre(i);
            const int n = number_of(i, j);
            number_vertices.push_back(nv(px, py, n));
            number_vertices.push_back(nv(px + e.x, py + e.y, n));
        }
    }
}

// The outlines of rows top_row down to 1, each coloured with its cell's
// number, in the per-cell order.
void outline_numbers(int top_row) {
    outline_vertices.clear();
    for (int i = top_row; i >= 1; --i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            float x[4], y[4];
            quad_corners(i, j, x, y);
            const int n = number_of(i, j);
            for (int k = 0; k < 4; ++k) {
                outline_vertices.push_back(nv(x[k], y[k], n));
                outline_vertices.push_back(nv(x[(k + 1) % 4], y[(k + 1) % 4], n));
            }
        }
    }
}

// ---- Drawing --------------------------------------------------------------------

template <class V>
void upload(int list, const std::vector<V>& v) {
    glBindBuffer(GL_ARRAY_BUFFER, buffers[list]);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(v.size() * sizeof(V)), v.data(), GL_STREAM_DRAW);
}

void draw_literal() {
    upload(LITERAL, literal_vertices);
    glUseProgram(lines_program);
    glBindVertexArray(arrays[LITERAL]);
    for (const Run& r : literal_runs) glDrawArrays(r.mode, r.first, r.count);
}

void draw_numbers(int list, GLenum mode, const std::vector<NumberVertex>& v) {
    upload(list, v);
    glUseProgram(lines_program);
    glBindVertexArray(arrays[list]);
    glDrawArrays(mode, 0, (GLsizei)v.size());
}

// Copies the buffer's lowest `rows` rows into a texture of the buffer's size.
void copy_rows(GLuint texture, int rows) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, std::min(rows, height));
}

void upload_cells() {
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, cells_texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GRID_INNER, GRID_INNER, GL_RG, GL_FLOAT, texels);
}

// The last pass over the buffer (within the scissor box, if one is on).
void last_pass(bool segments, bool outlines) {
    upload_cells();
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, segments_texture);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, outlines_texture);
    glActiveTexture(GL_TEXTURE0);
    glUseProgram(last_program);
    glUniform1i(cell_px_at, (int)cell_px);
    glUniform1i(use_segments_at, segments ? 1 : 0);
    glUniform1i(use_outlines_at, outlines ? 1 : 0);
    glBindVertexArray(empty_array);
    glDrawArrays(GL_TRIANGLES, 0, 3);
}

void draw_fast(bool velocity, bool grid) {
    if (grid && !outlines_drawn) {
        glClear(GL_COLOR_BUFFER_BIT);
        outline_numbers(GRID_INNER);
        draw_numbers(OUTLINES, GL_LINES, outline_vertices);
        copy_rows(outlines_texture, height);
        outlines_drawn = true;
    }
    if (velocity) {
        glClear(GL_COLOR_BUFFER_BIT);
        segment_numbers(GRID_INNER, segment_end);
        draw_numbers(NUMBERS, GL_LINES, number_vertices);
        copy_rows(segments_texture, height);
    }
    for (int i = 1; i <= GRID_INNER; ++i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            cell_texel(shown_quad(cell_index(i, j)), &texels[2 * ((i - 1) * GRID_INNER + (j - 1))]);
        }
    }
    last_pass(velocity, grid);
}

// ---- The check ------------------------------------------------------------------

// Rows of cells in the test scene, from the bottom interior row up.
constexpr int CHECK_ROWS = 3;

// The test scene's quad colours and segments. Levels on, just below and just
// above each rounding place of an 8-bit channel, 0, 1 and beyond 1, in every
// channel and none; segments of every direction and length from none to
// far beyond the window, and non-finite ones.
QuadColour scene_quad(int c) {
    const int k = c * 7 + c / 3;
    const int channel = k % 4 - 1;
    if (channel < 0) return {};
    const int step = (k * 37) % 256;
    const float offsets[3] = {0.499f, 0.5f, 0.501f};
    float level = (float)(((double)step + (double)offsets[k % 3]) / 255.0);
    if (k % 23 == 0) level = 0.0f;
    if (k % 29 == 0) level = 1.0f;
    if (k % 31 == 0) level = 1.75f;
    return {channel, level};
}

SegmentEnd scene_segment(int c) {
    const float inf = std::numeric_limits<float>::infinity();
    if (c % 41 == 0) return {std::nanf(""), 1.0f};
    if (c % 43 == 0) return {inf, 0.0f};
    if (c % 47 == 0) return {-3.0e30f, 2.0e30f};
    if (c % 13 == 0) return {0.0f, 0.0f};
    const double angle = (double)c * 2.399963;
    const double length = (double)(c % 9) * 0.7 * (double)cell_px;
    return {(float)(length * std::cos(angle)), (float)(length * std::sin(angle))};
}

std::vector<unsigned char> read_rows(int rows) {
    std::vector<unsigned char> pixels((std::size_t)width * (std::size_t)rows * 4);
    glReadPixels(0, 0, width, rows, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// Every number, written as points over decoys (the latest must win), copied
// and read by the check program as the last pass reads it.
bool check_numbers(int rows) {
    const int per_round = width * rows;
    for (int base = 0; base < NUMBERED_CELLS; base += per_round) {
        const int count = std::min(NUMBERED_CELLS - base, per_round);
        number_vertices.clear();
        for (int pass = 0; pass < 2; ++pass) {
            for (int k = 0; k < count; ++k) {
                const int n = base + k + 1;
                const int decoy = (int)(((long)n * 7919 + 5) % NUMBERED_CELLS) + 1;
                number_vertices.push_back(nv((float)(k % width) + 0.5f, (float)(k / width) + 0.5f,
                                             pass == 1    ? n
                                             : decoy != n ? decoy
                                                          : 0));
            }
        }
        glClear(GL_COLOR_BUFFER_BIT);
        draw_numbers(NUMBERS, GL_POINTS, number_vertices);
        copy_rows(segments_texture, rows);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, segments_texture);
        glUseProgram(check_program);
        glUniform1i(width_at, width);
        glUniform1i(base_at, base);
        glUniform1i(count_at, count);
        glUniform1i(line_number_at, 0);
        glBindVertexArray(empty_array);
        glDrawArrays(GL_TRIANGLES, 0, 3);
        const std::vector<unsigned char> ok = read_rows(rows);
        for (std::size_t k = 0; k < ok.size(); k += 4) {
            if (ok[k] != 255) return false;
        }
    }
    return true;
}

// The test scene with all four layers, literal and fast.
bool check_scene(int rows) {
    glClear(GL_COLOR_BUFFER_BIT);
    literal_sequence(CHECK_ROWS, scene_quad, scene_segment, true, true);
    draw_literal();
    const std::vector<unsigned char> expected = read_rows(rows);

    glClear(GL_COLOR_BUFFER_BIT);
    segment_numbers(CHECK_ROWS, scene_segment);
    draw_numbers(NUMBERS, GL_LINES, number_vertices);
    copy_rows(segments_texture, rows);
    glClear(GL_COLOR_BUFFER_BIT);
    outline_numbers(CHECK_ROWS);
    draw_numbers(OUTLINES, GL_LINES, outline_vertices);
    copy_rows(outlines_texture, rows);
    outlines_drawn = false;  // the outline image now holds the scene's
    for (int i = 1; i <= GRID_INNER; ++i) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            const QuadColour q = i <= CHECK_ROWS ? scene_quad(cell_index(i, j)) : QuadColour{};
            cell_texel(q, &texels[2 * ((i - 1) * GRID_INNER + (j - 1))]);
        }
    }
    glClear(GL_COLOR_BUFFER_BIT);
    last_pass(true, true);
    return read_rows(rows) == expected;
}

bool run_check() {
    // Cells under a pixel and buffers wider than a texture are left to the
    // literal drawing.
    if (!numbers_fit || cell_px < 1.0f || width <= 0 || height <= 0 || width > max_texture_size ||
        height > max_texture_size) {
        return false;
    }
    const int number_rows = (NUMBERED_CELLS + width - 1) / width;
    const int rows = std::min(height, std::max(number_rows, (CHECK_ROWS + 2) * (int)cell_px + 1));
    if ((NUMBERED_CELLS + width * rows - 1) / (width * rows) > 64) return false;  // a sliver
    while (glGetError() != GL_NO_ERROR) {
    }
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, width, rows);
    const bool exact = check_numbers(rows) && check_scene(rows);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    return exact && glGetError() == GL_NO_ERROR;
}

// ---- Set-up ---------------------------------------------------------------------

GLuint compile(GLenum type, const char* source) {
    const GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = GL_FALSE;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        glDeleteShader(s);
        return 0;
    }
    return s;
}

GLuint link(const char* vertex, const char* fragment) {
    const GLuint vs = compile(GL_VERTEX_SHADER, vertex);
    const GLuint fs = compile(GL_FRAGMENT_SHADER, fragment);
    GLuint p = 0;
    if (vs != 0 && fs != 0) {
        p = glCreateProgram();
        glAttachShader(p, vs);
        glAttachShader(p, fs);
        glBindAttribLocation(p, 0, "position");
        glBindAttribLocation(p, 1, "colour");
        glLinkProgram(p);
    }
    if (vs != 0) glDeleteShader(vs);
    if (fs != 0) glDeleteShader(fs);
    GLint ok = GL_FALSE;
    if (p != 0) glGetProgramiv(p, GL_LINK_STATUS, &ok);
    return ok == GL_TRUE ? p : 0;
}

GLuint new_texture(GLenum format, int w, int h) {
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexStorage2D(GL_TEXTURE_2D, 1, format, w, h);
    return t;
}

// The buffer's bits a channel give the numbers' digits (an 8-bit buffer
// stores each digit's byte as it is).
void choose_digits() {
    const GLenum names[3] = {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS};
    int bits[3];
    for (int k = 0; k < 3; ++k) {
        GLint b = 0;
        glGetIntegerv(names[k], &b);
        bits[k] = b;
    }
    GLint samples = 1;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &samples);
    numbers_fit = number_digits(bits, digit_bits) && samples == 0;
    if (!numbers_fit) return;
    for (int n = 0; n <= NUMBERED_CELLS; ++n) number_colour(n, digit_bits, number_rgb[n]);
    for (GLuint p : {last_program, check_program}) {
        glUseProgram(p);
        glUniform3i(glGetUniformLocation(p, "levels"), (1 << digit_bits[0]) - 1,
                    (1 << digit_bits[1]) - 1, (1 << digit_bits[2]) - 1);
    }
}

}  // namespace

bool init_drawing() {
    lines_program = link(VERTEX_SHADER, FRAGMENT_SHADER);
    last_program = link(COVER_SHADER, LAST_PASS_SHADER);
    check_program = link(COVER_SHADER, CHECK_SHADER);
    if (lines_program == 0) return false;
    scale_at = glGetUniformLocation(lines_program, "scale");

    glGenVertexArrays(LISTS, arrays);
    glGenBuffers(LISTS, buffers);
    for (int k = 0; k < LISTS; ++k) {
        glBindVertexArray(arrays[k]);
        glBindBuffer(GL_ARRAY_BUFFER, buffers[k]);
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        if (k == LITERAL) {
            glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(LiteralVertex),
                                  (void*)offsetof(LiteralVertex, x));
            glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(LiteralVertex),
                                  (void*)offsetof(LiteralVertex, r));
        } else {
            glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(NumberVertex),
                                  (void*)offsetof(NumberVertex, x));
            glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(NumberVertex),
                                  (void*)offsetof(NumberVertex, rgb));
        }
    }
    glGenVertexArrays(1, &empty_array);
    glBindVertexArray(0);
    glDisable(GL_DITHER);
    glDisable(GL_BLEND);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);

    // The fast drawing's programs and cell image; without them every frame
    // is literal.
    if (last_program != 0 && check_program != 0) {
        glUseProgram(last_program);
        glUniform1i(glGetUniformLocation(last_program, "cells"), 0);
        glUniform1i(glGetUniformLocation(last_program, "segments"), 1);
        glUniform1i(glGetUniformLocation(last_program, "outlines"), 2);
        cell_px_at = glGetUniformLocation(last_program, "cell_px");
        use_segments_at = glGetUniformLocation(last_program, "use_segments");
        use_outlines_at = glGetUniformLocation(last_program, "use_outlines");
        width_at = glGetUniformLocation(check_program, "width");
        base_at = glGetUniformLocation(check_program, "base");
        count_at = glGetUniformLocation(check_program, "count");
        line_number_at = glGetUniformLocation(check_program, "line_number");
        cells_texture = new_texture(GL_RG32F, GRID_INNER, GRID_INNER);
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_texture_size);
        choose_digits();
    }
    glUseProgram(lines_program);
    return glGetError() == GL_NO_ERROR;
}

void reshape_drawing(int w, int h) {
    width = w;
    height = h;
    glViewport(0, 0, w, h);
    glUseProgram(lines_program);
    glUniform2f(scale_at, (float)(2.0 / (double)w), (float)(2.0 / (double)h));
    // Textures of the buffer's size for the number images.
    glDeleteTextures(1, &segments_texture);
    glDeleteTextures(1, &outlines_texture);
    segments_texture = outlines_texture = 0;
    outlines_drawn = false;
    if (numbers_fit && w <= max_texture_size && h <= max_texture_size) {
        segments_texture = new_texture(GL_RGB8, w, h);
        outlines_texture = new_texture(GL_RGB8, w, h);
    }
    check_due = true;
}

void force_literal_drawing() {
    literal_forced = true;
}

void begin_frame() {
    if (check_due && !literal_forced) {
        const double start = emscripten_get_now();
        check.exact = run_check();
        check.milliseconds = emscripten_get_now() - start;
        check.width = width;
        check.height = height;
        check_due = false;
    }
    glClear(GL_COLOR_BUFFER_BIT);
}

void draw_layers() {
    const bool velocity = show_velocity != 0;
    const bool grid = show_grid != 0;
    last_fast = !literal_forced && check.exact;
    if (last_fast) {
        draw_fast(velocity, grid);
    } else {
        literal_sequence(GRID_INNER, shown_quad, segment_end, velocity, grid);
        draw_literal();
    }
}

DrawingCheck drawing_check() {
    return check;
}

bool drew_fast() {
    return last_fast;
}

}  // namespace fluid::web
