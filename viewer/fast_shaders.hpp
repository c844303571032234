// fast_shaders.hpp - the fast drawing's shader text, one source for the
// desktop (GLSL 1.30) and the web page (GLSL ES 3.00). A program is its
// version's prefix followed by the text; the text writes fragment_colour,
// which the prefix makes the version's output.
#pragma once

#define FLUIDS_GLSL_130 \
    "#version 130\n"    \
    "#define fragment_colour gl_FragColor\n"

#define FLUIDS_GLSL_ES_300          \
    "#version 300 es\n"             \
    "precision highp float;\n"      \
    "precision highp int;\n"        \
    "precision highp sampler2D;\n"  \
    "out vec4 fragment_colour;\n"

// The colour of a cell texel: the level in the channel it names.
#define FLUIDS_QUAD_COLOUR                                                                     \
    "vec4 quad_colour(vec2 t) {\n"                                                             \
    "    return vec4(t.g == 1.0 ? t.r : 0.0, t.g == 2.0 ? t.r : 0.0, t.g == 3.0 ? t.r : 0.0, " \
    "1.0);\n"                                                                                  \
    "}\n"

// The number a copied image holds at pixel p: one digit a channel, each read
// as the nearest of its channel's levels.
#define FLUIDS_NUMBER                                                          \
    "uniform ivec3 levels;  // the top value of each channel's digit\n"        \
    "int number(sampler2D image, ivec2 p) {\n"                                 \
    "    ivec3 d = ivec3(texelFetch(image, p, 0).rgb * vec3(levels) + 0.5);\n" \
    "    return (d.r * (levels.g + 1) + d.g) * (levels.b + 1) + d.b;\n"        \
    "}\n"

// The last pass: per pixel, the latest of the cell's quad, the latest
// segment and the latest outline over it. Every lookup is an integer texel
// fetch at the pixel's own coordinates: no rounding of interpolated
// coordinates at texel edges.
#define FLUIDS_LAST_PASS                                                                       \
    "uniform sampler2D cells;     // 126 x 126: level, band (0 where no quad is drawn)\n"      \
    "uniform sampler2D segments;  // window-sized: latest segment's cell number + 1\n"         \
    "uniform sampler2D outlines;  // window-sized: latest outline's cell number + 1\n"         \
    "uniform int cell_px, use_segments, use_outlines;\n" FLUIDS_QUAD_COLOUR FLUIDS_NUMBER      \
    "void main() {\n"                                                                          \
    "    ivec2 p = ivec2(gl_FragCoord.xy);\n"                                                  \
    "    ivec2 c = p / cell_px;  // column j, row i\n"                                         \
    "    int latest = 0;\n"                                                                    \
    "    vec4 colour = vec4(0.0, 0.0, 0.0, 1.0);\n"                                            \
    "    if (c.x >= 1 && c.x <= 126 && c.y >= 1 && c.y <= 126) {\n"                            \
    "        vec2 t = texelFetch(cells, c - 1, 0).rg;\n"                                       \
    "        if (t.g != 0.0) {\n"                                                              \
    "            latest = 4 * ((126 - c.y) * 126 + c.x - 1) + 1;\n"                            \
    "            colour = quad_colour(t);\n"                                                   \
    "        }\n"                                                                              \
    "    }\n"                                                                                  \
    "    if (use_segments != 0) {\n"                                                           \
    "        int n = number(segments, p);\n"                                                   \
    "        if (n > 0 && 4 * (n - 1) + 2 > latest) {\n"                                       \
    "            latest = 4 * (n - 1) + 2;\n"                                                  \
    "            colour = vec4(1.0, 0.0, 0.0, 1.0);\n"                                         \
    "        }\n"                                                                              \
    "    }\n"                                                                                  \
    "    if (use_outlines != 0) {\n"                                                           \
    "        int n = number(outlines, p);\n"                                                   \
    "        if (n > 0 && 4 * (n - 1) + 3 > latest) colour = vec4(0.0, 1.0, 0.0, 1.0);\n"     \
    "    }\n"                                                                                  \
    "    fragment_colour = colour;\n"                                                          \
    "}\n"

// The check's reading of a copied image. With line_number 0: whether pixel
// p holds the number base + k + 1 of the k-th pixel of the window (row by
// row) for k < count, and 0 beyond. Otherwise: whether it holds 0 or
// line_number (red), and whether line_number (green).
#define FLUIDS_CHECK_NUMBERS                                                                   \
    "uniform sampler2D image;\n"                                                               \
    "uniform int width, base, count, line_number;\n" FLUIDS_NUMBER                             \
    "void main() {\n"                                                                          \
    "    ivec2 p = ivec2(gl_FragCoord.xy);\n"                                                  \
    "    int n = number(image, p);\n"                                                          \
    "    if (line_number > 0) {\n"                                                             \
    "        fragment_colour = vec4(n == 0 || n == line_number ? 1.0 : 0.0,\n"                 \
    "                               n == line_number ? 1.0 : 0.0, 0.0, 1.0);\n"                \
    "    } else {\n"                                                                           \
    "        int k = p.y * width + p.x;\n"                                                     \
    "        fragment_colour = vec4(n == (k < count ? base + k + 1 : 0) ? 1.0 : 0.0, 0.0, 0.0, " \
    "1.0);\n"                                                                                  \
    "    }\n"                                                                                  \
    "}\n"
