// render_test.cpp - drawing in this process on a private X server: the
// few-primitive and the batched paths against the per-cell sequence, pixel
// for pixel, the colour bands, and the display list kept across resizes.
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fluid.hpp"
#include "glut_window.hpp"
#include "test_support.hpp"
#include "viewer.hpp"
#include "x_harness.hpp"

namespace {

using fluid::cell_index;

// A screen of the private X server: its depth and Mesa's rasteriser.
struct Screen {
    int depth;
    const char* driver;  // "llvmpipe" or "softpipe"
};

void PrintTo(const Screen& s, std::ostream* out) {
    *out << s.driver << " at depth " << s.depth;
}

class Render : public ::testing::Test {
  protected:
    void SetUp() override { open({24, "llvmpipe"}); }
    static void TearDownTestSuite() { close(); }

    // Opens the window on a server with this screen, unless it is open
    // there already.
    static void open(Screen screen) {
        if (server != nullptr && current.depth == screen.depth &&
            std::string(current.driver) == screen.driver) {
            return;
        }
        close();
        current = screen;
        // Without shared-memory images: Mesa's software GLX keeps what it
        // learnt of that extension from the first server for the next ones,
        // whose swaps then fail.
        server = new xharness::XServer(screen.depth, {"-extension", "MIT-SHM"});
        // Drawing starts once the window is on the screen and GLUT has run
        // its first reshape and display.
        ASSERT_TRUE(glut_window::open(*server, screen.driver));
        ASSERT_NE(std::strstr((const char*)glGetString(GL_RENDERER), screen.driver), nullptr);
        GLint bits = 0;
        glGetIntegerv(GL_GREEN_BITS, &bits);
        ASSERT_EQ(bits, screen.depth == 16 ? 6 : screen.depth / 3);
    }
    static void close() {
        if (server == nullptr) return;
        // Close GLUT's connection before the server goes away.
        glutExit();
        delete server;
        server = nullptr;
    }

    // Resizes the window and waits until the reshape handler has seen it.
    static void resize(int w, int h) { ASSERT_TRUE(glut_window::resize(w, h)) << w << " x " << h; }

    // Draws with `draw` into the back buffer and reads it back, 16 bits a
    // channel: every level of a 5-, 6-, 8- or 10-bit channel reads as a
    // value of its own.
    static std::vector<std::uint16_t> picture(void (*draw)()) {
        glClear(GL_COLOR_BUFFER_BIT);
        draw();
        glFinish();
        std::vector<std::uint16_t> rgb((size_t)fluid::window_width * fluid::window_height * 3);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 2);
        glReadPixels(0, 0, fluid::window_width, fluid::window_height, GL_RGB, GL_UNSIGNED_SHORT,
                     rgb.data());
        return rgb;
    }

    // The colour of the pixel at the centre of cell (i, j), 8 bits a channel.
    static std::uint32_t centre_of(const std::vector<std::uint16_t>& rgb, int i, int j) {
        const int px = (int)fluid::cell_px;
        const size_t at = 3 * ((size_t)(i * px + px / 2) * fluid::window_width + j * px + px / 2);
        return (std::uint32_t)(rgb[at] >> 8) << 16 | (std::uint32_t)(rgb[at + 1] >> 8) << 8 |
               rgb[at + 2] >> 8;
    }

    inline static xharness::XServer* server = nullptr;
    inline static Screen current{};
};

// The drawing tests that compare paths, on every screen the comparison is
// made on.
class RenderOn : public Render, public ::testing::WithParamInterface<Screen> {
  protected:
    void SetUp() override { open(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Screens, RenderOn,
                         ::testing::Values(Screen{24, "llvmpipe"}, Screen{16, "llvmpipe"},
                                           Screen{30, "llvmpipe"}, Screen{24, "softpipe"},
                                           Screen{16, "softpipe"}),
                         [](const ::testing::TestParamInfo<Screen>& info) {
                             return info.param.driver + std::to_string(info.param.depth);
                         });

// Densities across all colour bands and beyond, with negative and
// non-numeric values, on a field with obstacles.
void random_scene(std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-0.5f, 1.5f);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              -0.0f,
                              0.0f,
                              0.33f,
                              0.66f,
                              5.0f,
                              1.0e-30f};
    fluid::clear_state();
    for (int k = 0; k < fluid::FIELD_SIZE; ++k) {
        fluid::density[k] = unit(rng) < 0.1 ? specials[rng() % 9] : value(rng);
        fluid::u[k] = unit(rng) < 0.05 ? specials[rng() % 9] : value(rng);
        fluid::v[k] = unit(rng) < 0.05 ? specials[rng() % 9] : value(rng);
    }
    for (int j = 1; j <= 126; ++j) {
        for (int i = 1; i <= 126; ++i) fluid::obstacle[cell_index(i, j)] = unit(rng) < 0.15;
    }
}

// Where two pictures of the current window differ, or "" when they do not.
std::string first_difference(const std::vector<std::uint16_t>& a,
                             const std::vector<std::uint16_t>& b) {
    for (size_t k = 0; k < a.size(); k += 3) {
        if (a[k] != b[k] || a[k + 1] != b[k + 1] || a[k + 2] != b[k + 2]) {
            const size_t p = k / 3;
            char text[160];
            std::snprintf(text, sizeof text,
                          "pixel (%zu, %zu) from the bottom: %04x %04x %04x per cell, "
                          "%04x %04x %04x the other",
                          p % fluid::window_width, p / fluid::window_width, a[k], a[k + 1],
                          a[k + 2], b[k], b[k + 1], b[k + 2]);
            return text;
        }
    }
    return a.size() == b.size() ? "" : "sizes differ";
}

TEST_P(RenderOn, BatchedCellsAreThePerCellPicture) {
    const std::pair<int, int> sizes[] = {{512, 512}, {1000, 300}, {300, 600}, {100, 100}};
    const int layers[][2] = {{1, 1}, {0, 1}, {1, 0}, {0, 0}};  // obstacles, density
    std::uint32_t seed = 1;
    for (auto [w, h] : sizes) {
        resize(w, h);
        for (const auto& l : layers) {
            for (int n = 0; n < 3; ++n, ++seed) {
                random_scene(seed);
                fluid::show_obstacles = l[0];
                fluid::show_density = l[1];
                const auto expected = picture(fluid::draw_cells_per_cell);
                const auto batched = picture(fluid::draw_cells_batched);
                ASSERT_EQ(first_difference(expected, batched), "")
                    << w << " x " << h << ", layers " << l[0] << l[1] << ", seed " << seed;
                if (w >= 126 && (l[0] || l[1])) {
                    // Not a blank picture that would match anything.
                    EXPECT_NE(std::count(expected.begin(), expected.end(), 0),
                              (std::ptrdiff_t)expected.size());
                }
            }
        }
    }
    fluid::show_obstacles = fluid::show_density = 1;
    resize(512, 512);
}

// The few-primitive drawing, which leaves cells under one pixel to the
// per-cell sequence.
void draw_fast() {
    if (fluid::draw_cells_fast()) return;
    ASSERT_EQ(fluid::cell_px, 0.0f);
    fluid::draw_cells_per_cell();
}

TEST_P(RenderOn, FastDrawingIsThePerCellPictureInEveryLayerCombination) {
    ASSERT_TRUE(fluid::fast_drawing);
    // Cells of 4, 7, 1 and 0 pixels; each size is first drawn right after
    // a frame of the one before.
    const std::pair<int, int> sizes[] = {{512, 512}, {900, 300}, {130, 140}, {100, 100}};
    std::uint32_t seed = 100;
    for (auto [w, h] : sizes) {
        resize(w, h);
        for (int layers = 0; layers < 16; ++layers) {
            for (int n = 0; n < 2; ++n, ++seed) {
                random_scene(seed);
                fluid::show_obstacles = layers & 1;
                fluid::show_density = layers >> 1 & 1;
                fluid::show_velocity = layers >> 2 & 1;
                fluid::show_grid = layers >> 3 & 1;
                const auto expected = picture(fluid::draw_cells_per_cell);
                const auto fast = picture(draw_fast);
                ASSERT_EQ(first_difference(expected, fast), "")
                    << w << " x " << h << ", layers " << layers << ", seed " << seed;
            }
        }
        // The check at this size has found this honest screen exact.
        const fluid::FastDrawingCheck check = fluid::fast_drawing_check();
        if (fluid::cell_px >= 1.0f) {
            EXPECT_EQ(check.width * 10000 + check.height, w * 10000 + h);
            EXPECT_TRUE(check.cells && check.numbers) << w << " x " << h;
        }
    }
    fluid::show_obstacles = fluid::show_density = 1;
    fluid::show_velocity = fluid::show_grid = 0;
    resize(512, 512);
}

TEST_F(Render, DensityBandsAndObstacles) {
    fluid::clear_state();
    fluid::density[cell_index(10, 10)] = 0.33f;  // slightly above the double 0.33: green
    fluid::density[cell_index(10, 11)] = 0.32f;  // dark blue
    fluid::density[cell_index(10, 12)] = 0.7f;   // red at 0.7
    fluid::density[cell_index(10, 13)] = 5.0f;   // clamped to pure red
    fluid::density[cell_index(10, 14)] = -1.0f;  // not drawn
    fluid::density[cell_index(10, 15)] = std::numeric_limits<float>::quiet_NaN();
    fluid::obstacle[cell_index(10, 16)] = 1;
    fluid::obstacle[cell_index(10, 17)] = 1;
    fluid::density[cell_index(10, 17)] = 0.5f;  // the density covers the obstacle
    for (auto draw : {fluid::draw_cells_per_cell, fluid::draw_cells_batched}) {
        const auto rgb = picture(draw);
        EXPECT_EQ(centre_of(rgb, 10, 10) & 0xff00ff, 0u);
        EXPECT_NEAR((centre_of(rgb, 10, 10) >> 8) & 0xff, 84, 1);
        EXPECT_NEAR(centre_of(rgb, 10, 11), 82, 1);
        EXPECT_NEAR(centre_of(rgb, 10, 12) >> 16, 178, 1);
        EXPECT_EQ(centre_of(rgb, 10, 12) & 0xffff, 0u);
        EXPECT_EQ(centre_of(rgb, 10, 13), 0xff0000u);
        EXPECT_EQ(centre_of(rgb, 10, 14), 0u);
        EXPECT_EQ(centre_of(rgb, 10, 15), 0u);
        EXPECT_EQ(centre_of(rgb, 10, 16), 0x0000ffu);
        EXPECT_NEAR(centre_of(rgb, 10, 17) >> 8, 128, 1);
    }
}

TEST_F(Render, ResizesKeepExactlyOneLiveDisplayList) {
    std::vector<unsigned int> names;
    for (auto [w, h] : {std::pair{600, 400}, std::pair{120, 90}, std::pair{512, 512}}) {
        resize(w, h);
        names.push_back(fluid::cell_quad);
    }
    for (size_t k = 0; k + 1 < names.size(); ++k) EXPECT_FALSE(glIsList(names[k])) << k;
    EXPECT_TRUE(glIsList(fluid::cell_quad));
    EXPECT_EQ(fluid::cell_px, 4.0f);
}

}  // namespace
