// draw.cpp - the four layers in WebGL2, with the pixels of the per-cell
// sequence.
//
// The per-cell sequence paints, cell after cell from the top row down and
// left to right, the cell's quad, its velocity segment and its grid outline;
// a pixel shows the latest primitive over it. WebGL has no quads, no
// line-mode polygons and no immediate mode, so every primitive becomes
// vertices in a buffer: a quad two triangles (with the corners in the order
// of the desktop's cell quad), a segment one line, an outline four lines
// between the quad's corners. Every vertex goes through the same shaders on
// both of the ways the primitives are drawn:
//
//   - the literal sequence: one buffer in the per-cell order, drawn in runs
//     of one primitive type (a run of lines may span a segment, an outline
//     and the next cells' lines), so the GL paints the primitives in exactly
//     the per-cell order;
//   - depth-ordered batches: the quads, the segments and the outlines each in
//     one call, each primitive at a depth that grows with its place in the
//     per-cell order (4n+1 for cell n's quad, 4n+2 its segment, 4n+3 its
//     outline), and a depth test that keeps the greater: the latest
//     primitive wins a pixel whatever order the calls come in.
//
// The batches draw in three calls what the sequence draws in up to two a
// cell. They are used only where a check at the drawing buffer's size has
// drawn a test scene both ways and read back the same pixels (a context
// without a depth buffer, or one with too few depth bits, fails it); the
// check runs in the lowest rows of the buffer before a frame clears it, so it
// is never shown.
#include "draw.hpp"

#include <GLES3/gl3.h>
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "fluid.hpp"
#include "viewer.hpp"

namespace fluid::web {

namespace {

// One vertex: window pixels, colour and place in the per-cell order.
struct Vertex {
    float x, y;
    float r, g, b;
    float order;
};

constexpr float RED[3] = {1.0f, 0.0f, 0.0f};
constexpr float GREEN[3] = {0.0f, 1.0f, 0.0f};

// Pixels to clip coordinates as the desktop's orthographic projection maps
// them (a scale of 2/size in float, then -1), and the order to a depth: with
// 65 535 steps between 0 and 1, every order (at most 4 * 15 876) is its own
// value in a depth buffer of 16 bits or more.
const char* const VERTEX_SHADER = R"(#version 300 es
in vec2 position;
in vec3 colour;
in float order;
uniform vec2 scale;
flat out vec3 primitive_colour;
void main() {
    gl_Position = vec4(position * scale - 1.0, order * (2.0 / 65535.0) - 1.0, 1.0);
    primitive_colour = colour;
}
)";

// Every fragment of a primitive takes its colour as it was given, as the
// desktop's current colour is.
const char* const FRAGMENT_SHADER = R"(#version 300 es
precision highp float;
flat in vec3 primitive_colour;
out vec4 fragment;
void main() {
    fragment = vec4(primitive_colour, 1.0);
}
)";

GLuint program = 0;
GLint scale_location = -1;

// The literal sequence's buffer and its runs.
struct Run {
    GLenum mode;
    GLint first;
    GLsizei count;
};

struct Literal {
    std::vector<Vertex> vertices;
    std::vector<Run> runs;

    void clear() {
        vertices.clear();
        runs.clear();
    }
    void add(GLenum mode, const Vertex* v, int n) {
        if (runs.empty() || runs.back().mode != mode) {
            runs.push_back({mode, (GLint)vertices.size(), 0});
        }
        vertices.insert(vertices.end(), v, v + n);
        runs.back().count += n;
    }
    void add_quad(const Vertex v[6]) { add(GL_TRIANGLES, v, 6); }
    void add_segment(const Vertex v[2]) { add(GL_LINES, v, 2); }
    void add_outline(const Vertex v[8]) { add(GL_LINES, v, 8); }
};

// The depth-ordered batches.
struct Batches {
    std::vector<Vertex> quads, segments, outlines;

    void clear() {
        quads.clear();
        segments.clear();
        outlines.clear();
    }
    void add_quad(const Vertex v[6]) { quads.insert(quads.end(), v, v + 6); }
    void add_segment(const Vertex v[2]) { segments.insert(segments.end(), v, v + 2); }
    void add_outline(const Vertex v[8]) { outlines.insert(outlines.end(), v, v + 8); }
};

Literal literal;
Batches batches;

// One vertex array and buffer for each list drawn: the literal sequence's,
// and each batch's.
enum { LITERAL, QUADS, SEGMENTS, OUTLINES, LISTS };
GLuint arrays[LISTS];
GLuint buffers[LISTS];

bool literal_forced = false;
bool last_fast = false;
bool check_due = true;
DrawingCheck check;
int width = 0;
int height = 0;

Vertex vertex(float x, float y, const float rgb[3], int order) {
    return {x, y, rgb[0], rgb[1], rgb[2], (float)order};
}

// Walks the cells of rows top_row down to 1 in the per-cell order and hands
// each shown primitive to the sink. quad_of(c) and segment_of(c) give cell
// c's quad colour and segment end. A segment with a non-finite end is left
// out on both ways: its clip coordinates are not numbers, the GL leaves what
// such a line draws undefined (the desktop's per-cell drawing shows nothing
// for it), and a software rasteriser can take seconds over one.
template <class Sink, class QuadOf, class SegmentOf>
void emit(Sink& sink, int top_row, QuadOf quad_of, SegmentOf segment_of, bool velocity,
          bool grid) {
    float corner_x[4], corner_y[4];
    cell_quad_corners(corner_x, corner_y);
    for (int i = top_row; i >= 1; --i) {
        const float py = cell_centre(i);
        for (int j = 1; j <= GRID_INNER; ++j) {
            const int c = cell_index(i, j);
            const int n = (GRID_INNER - i) * GRID_INNER + (j - 1);
            const float px = cell_centre(j);
            // The corners as the desktop's translated cell quad has them.
            float x[4], y[4];
            for (int k = 0; k < 4; ++k) {
                x[k] = px + corner_x[k];
                y[k] = py + corner_y[k];
            }
            const QuadColour q = quad_of(c);
            if (q.channel >= 0) {
                float rgb[3] = {0.0f, 0.0f, 0.0f};
                rgb[q.channel] = q.level;
                const int order = 4 * n + 1;
                const Vertex v[6] = {vertex(x[0], y[0], rgb, order), vertex(x[1], y[1], rgb, order),
                                     vertex(x[2], y[2], rgb, order), vertex(x[0], y[0], rgb, order),
                                     vertex(x[2], y[2], rgb, order), vertex(x[3], y[3], rgb, order)};
                sink.add_quad(v);
            }
            const SegmentEnd end = velocity ? segment_of(c) : SegmentEnd{};
            if (velocity && std::isfinite(end.x) && std::isfinite(end.y)) {
                const int order = 4 * n + 2;
                const Vertex v[2] = {vertex(px, py, RED, order),
                                     vertex(px + end.x, py + end.y, RED, order)};
                sink.add_segment(v);
            }
            if (grid) {
                const int order = 4 * n + 3;
                Vertex v[8];
                for (int k = 0; k < 4; ++k) {
                    v[2 * k] = vertex(x[k], y[k], GREEN, order);
                    v[2 * k + 1] = vertex(x[(k + 1) % 4], y[(k + 1) % 4], GREEN, order);
                }
                sink.add_outline(v);
            }
        }
    }
}

void upload(int list, const std::vector<Vertex>& v) {
    glBindBuffer(GL_ARRAY_BUFFER, buffers[list]);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(v.size() * sizeof(Vertex)), v.data(),
                 GL_STREAM_DRAW);
}

void draw_literal() {
    glDisable(GL_DEPTH_TEST);
    upload(LITERAL, literal.vertices);
    glBindVertexArray(arrays[LITERAL]);
    for (const Run& r : literal.runs) glDrawArrays(r.mode, r.first, r.count);
    glBindVertexArray(0);
}

void draw_batches() {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_GREATER);
    const struct {
        int list;
        GLenum mode;
        const std::vector<Vertex>* v;
    } lists[] = {{QUADS, GL_TRIANGLES, &batches.quads},
                 {SEGMENTS, GL_LINES, &batches.segments},
                 {OUTLINES, GL_LINES, &batches.outlines}};
    for (const auto& l : lists) {
        if (l.v->empty()) continue;
        upload(l.list, *l.v);
        glBindVertexArray(arrays[l.list]);
        glDrawArrays(l.mode, 0, (GLsizei)l.v->size());
    }
    glBindVertexArray(0);
    glDisable(GL_DEPTH_TEST);
}

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

// ---- The check --------------------------------------------------------------

// Rows of cells in the test scene, from the bottom interior row up.
constexpr int CHECK_ROWS = 3;

// The test scene's quad colours and segments. Levels on, just below and just
// above each rounding place of an 8-bit channel, 0, 1 and beyond 1, in every
// channel and none; segments of every direction and length from none to
// beyond the window, and non-finite ones.
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

// Draws the test scene with all four layers both ways into the lowest rows of
// the drawing buffer and compares what comes back.
bool run_check() {
    if (width <= 0 || height <= 0) return false;
    const int rows = std::min(height, (CHECK_ROWS + 2) * std::max(1, (int)cell_px) + 1);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, width, rows);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepthf(0.0f);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    literal.clear();
    emit(literal, CHECK_ROWS, scene_quad, scene_segment, true, true);
    draw_literal();
    const std::vector<unsigned char> expected = read_rows(rows);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    batches.clear();
    emit(batches, CHECK_ROWS, scene_quad, scene_segment, true, true);
    draw_batches();
    const std::vector<unsigned char> got = read_rows(rows);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    const bool no_error = glGetError() == GL_NO_ERROR;
    return no_error && expected == got;
}

}  // namespace

bool init_drawing() {
    const GLuint vs = compile(GL_VERTEX_SHADER, VERTEX_SHADER);
    const GLuint fs = compile(GL_FRAGMENT_SHADER, FRAGMENT_SHADER);
    if (vs == 0 || fs == 0) return false;
    program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glBindAttribLocation(program, 0, "position");
    glBindAttribLocation(program, 1, "colour");
    glBindAttribLocation(program, 2, "order");
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) return false;
    glUseProgram(program);
    scale_location = glGetUniformLocation(program, "scale");

    glGenVertexArrays(LISTS, arrays);
    glGenBuffers(LISTS, buffers);
    for (int k = 0; k < LISTS; ++k) {
        glBindVertexArray(arrays[k]);
        glBindBuffer(GL_ARRAY_BUFFER, buffers[k]);
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), (void*)offsetof(Vertex, x));
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), (void*)offsetof(Vertex, r));
        glVertexAttribPointer(2, 1, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                              (void*)offsetof(Vertex, order));
    }
    glBindVertexArray(0);
    glDisable(GL_DITHER);
    glDisable(GL_BLEND);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepthf(0.0f);
    return glGetError() == GL_NO_ERROR;
}

void reshape_drawing(int w, int h) {
    width = w;
    height = h;
    glViewport(0, 0, w, h);
    glUniform2f(scale_location, (float)(2.0 / (double)w), (float)(2.0 / (double)h));
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
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void draw_layers() {
    const bool velocity = show_velocity != 0;
    const bool grid = show_grid != 0;
    last_fast = !literal_forced && check.exact;
    if (last_fast) {
        batches.clear();
        emit(batches, GRID_INNER, shown_quad, segment_end, velocity, grid);
        draw_batches();
    } else {
        literal.clear();
        emit(literal, GRID_INNER, shown_quad, segment_end, velocity, grid);
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
