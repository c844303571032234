// window_test.cpp - the real fluids program under a private X server, driven
// by real X input, checked by what it prints and by the pixels it draws.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "first_difference.hpp"
#include "reference_solver.hpp"
#include "report_text.hpp"
#include "server_test.hpp"
#include "x_harness.hpp"

namespace {

using reference::idx;
using xharness::Image;
using xharness::Program;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// What the input of a test writes, mirrored into a reference state, for a
// window of 512 by 512 (cells of 4 pixels; 128 cells span the window).
class Mirror {
  public:
    Mirror() : s(std::make_unique<reference::State>()) { *s = {}; }

    static int col(int x) { return std::clamp(x / 4, 1, 126); }
    static int row(int y) { return std::clamp((512 - y) / 4, 1, 126); }

    void right_click(int x, int y) {
        const int c = idx(row(y), col(x));
        s->density_src[c] = 504.0f;
        s->u_src[c - 128] = -4.0f;
        s->v_src[c - 1] = -4.0f;
        s->u_src[c + 128] = 4.0f;
        s->v_src[c + 1] = 4.0f;
    }
    void fill_key() {
        s->density_src[idx(1, 64)] = 504.0f;
        s->v_src[idx(1, 64)] = 4.0f;
    }
    void drag(int from_x, int from_y, int to_x, int to_y) {
        const int c = idx(row(to_y), col(to_x));
        s->u_src[c] = (float)((double)s->u_src[c] + (to_x - from_x) * 4.0);
        s->v_src[c] = (float)((double)s->v_src[c] + (from_y - to_y) * 4.0);
    }
    void toggle_obstacle(int x, int y) {
        int& o = s->obstacle[idx(row(y), col(x))];
        o = 1 - o;
    }
    void step() {
        reference::step_velocity(*s, 0.0f, 0.2f);
        reference::step_density(*s, 0.5f, 0.2f);
    }

    std::unique_ptr<reference::State> s;
};

class WindowTest : public xharness::ServerTest {
  protected:
    void SetUp() override { program = std::make_unique<Program>(*server, xharness::fluids_path()); }

    void TearDown() override {
        if (program) {
            const std::string errors = program->errors();
            EXPECT_EQ(errors, "") << "the program wrote to its error output";
        }
    }

    // Simulation off and the report on, as every scripted test starts.
    void pause_and_report() {
        program->key("s");
        program->key("c");
    }

    // Presses space n times, each time waiting for that step's report.
    void steps(int n) {
        const int before = xharness::count_of(program->output(), "Total Density: ");
        for (int k = 0; k < n; ++k) {
            ASSERT_TRUE(program->step_and_wait_report(before + k)) << "no report for step " << k;
        }
    }

    // A drag with one motion event, from a press to a release; mirrored.
    void drag(Mirror& m, int button, int x0, int y0, int x1, int y1) {
        program->move(x0, y0);
        program->button_down(button);
        program->move(x1, y1);
        program->button_up(button);
        m.drag(x0, y0, x1, y1);
    }

    // Steps both the program and the mirror n times; returns the reports
    // the program must have printed for them.
    std::string steps_with_reports(Mirror& m, int n) {
        std::string expected;
        for (int k = 0; k < n; ++k) {
            steps(1);
            m.step();
            expected += report_text::report(*m.s);
        }
        return expected;
    }

    // Ends the program with Escape, which must exit with status 0.
    void quit() {
        program->key("Escape");
        EXPECT_EQ(program->wait_exit(), 0);
    }

    std::unique_ptr<Program> program;
};

// ---- Reports --------------------------------------------------------------

TEST_F(WindowTest, FillSourceReportsMatchTheReferenceFile) {
    const std::string golden = read_file(GOLDEN_DIR "/fill-source-three-steps.txt");
    ASSERT_FALSE(golden.empty()) << "no reference report in " GOLDEN_DIR;
    pause_and_report();
    program->key("f");
    steps(3);
    quit();
    EXPECT_TRUE(first_difference::same_text(golden, program->output()))
        << "against the reference file";
}

TEST_F(WindowTest, RightClickReportsMatchTheReferenceFile) {
    const std::string golden = read_file(GOLDEN_DIR "/right-click-three-steps.txt");
    ASSERT_FALSE(golden.empty()) << "no reference report in " GOLDEN_DIR;
    pause_and_report();
    program->click(3, 256, 256);
    steps(3);
    quit();
    EXPECT_TRUE(first_difference::same_text(golden, program->output()))
        << "against the reference file";
}

TEST_F(WindowTest, PaintingDragsAndClicksMatchTheReferenceSolver) {
    Mirror m;
    std::string expected;
    pause_and_report();
    // One step first: its report shows that the program has drawn its first
    // frames (with the fast drawing's check, the longest of them), so that
    // no motion of the drags below waits while newer ones arrive (a Windows
    // message queue keeps only the latest of waiting motions).
    expected += steps_with_reports(m, 1);

    // Painting mode: a press and a drag over three cells and back onto the
    // middle one, which is toggled twice.
    program->key("B");
    program->move(200, 200);
    program->button_down(1);
    program->move(204, 200);
    program->move(208, 200);
    program->move(204, 200);
    program->button_up(1);
    for (int x : {200, 204, 208, 204}) m.toggle_obstacle(x, 200);
    program->key("B");

    // A left drag, a right click and a middle-button drag.
    drag(m, 1, 300, 300, 320, 290);
    program->click(3, 100, 400);
    m.right_click(100, 400);
    drag(m, 2, 400, 100, 390, 110);
    expected += steps_with_reports(m, 3);

    // More input between steps: the key f and a drag near the obstacles.
    program->key("f");
    m.fill_key();
    drag(m, 1, 210, 196, 250, 150);
    expected += steps_with_reports(m, 2);
    quit();
    EXPECT_TRUE(first_difference::same_text(expected, program->output()))
        << "against the reference solver";
}

TEST_F(WindowTest, ResetKeepsTheTogglesAndEscapeFlushesTheOutput) {
    Mirror m;
    pause_and_report();
    program->key("f");
    program->key("r");
    // Still paused and still reporting: each space brings exactly one report,
    // of one more step; a frame simulated between them would show in the
    // second one's fields or as a third report.
    const std::string expected = steps_with_reports(m, 2);
    quit();
    EXPECT_TRUE(first_difference::same_text(expected, program->output()));
}

TEST_F(WindowTest, SimulationOnReportsEveryFrameAndSpaceAddsNothing) {
    program->key("c");
    ASSERT_TRUE(program->wait_for_output("Total Density: ", 3));
    program->key("c");
    program->key("space");
    quit();
    const std::string out = program->output();
    ASSERT_GE(xharness::count_of(out, "Total Density: "), 3);
    // Every report is whole: the output ends with a total line.
    EXPECT_EQ(out.substr(out.size() - 25), "\nTotal Density: 0.000000\n");
}

// ---- Pixels ---------------------------------------------------------------

constexpr std::uint32_t BLACK = 0x000000;
constexpr std::uint32_t BLUE = 0x0000ff;
constexpr std::uint32_t RED = 0xff0000;
constexpr std::uint32_t GREEN = 0x00ff00;

// The colour a cell shows with the initial toggles.
std::uint32_t cell_colour(const reference::State& s, int i, int j) {
    const float d = s.density[idx(i, j)];
    if (d > 0) {
        const auto level = (std::uint32_t)std::lround(std::min(d, 1.0f) * 255.0f);
        if (d < 0.33) return level;
        if (d < 0.66) return level << 8;
        return level << 16;
    }
    return s.obstacle[idx(i, j)] == 1 ? BLUE : BLACK;
}

// Channels may differ by one step: the conversion of a float colour to
// 8 bits is the GL implementation's, and the reference rounds to nearest.
bool close_colour(std::uint32_t a, std::uint32_t b) {
    for (int shift : {0, 8, 16}) {
        if (std::abs((int)((a >> shift) & 0xff) - (int)((b >> shift) & 0xff)) > 1) return false;
    }
    return true;
}

// Every pixel of the window against the state, for square cells of `px`
// pixels; pixels outside the grid must show the clear colour.
std::string compare_picture(const Image& img, const reference::State& s, int px) {
    if (img.width == 0) return "no image";
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const int gl_y = img.height - 1 - y;
            const int j = px > 0 ? x / px : 0;
            const int i = px > 0 ? gl_y / px : 0;
            const bool inside = px > 0 && i >= 1 && i <= 126 && j >= 1 && j <= 126;
            const std::uint32_t want = inside ? cell_colour(s, i, j) : BLACK;
            if (!close_colour(img.at(x, y), want)) {
                std::ostringstream m;
                m << "pixel (" << x << ", " << y << ") of cell (" << i << ", " << j << ") is "
                  << std::hex << img.at(x, y) << ", expected " << want;
                return m.str();
            }
        }
    }
    return "";
}

// A scene that shows obstacles and all three density bands.
void colourful_scene(Program& p, Mirror& m) {
    p.key("s");
    p.key("c");
    p.key("B");
    for (int x : {248, 252, 256, 260}) {
        p.click(1, x, 236);
        m.toggle_obstacle(x, 236);
    }
    p.click(1, 20, 20);
    m.toggle_obstacle(20, 20);
    p.key("B");
    p.click(3, 256, 256);
    m.right_click(256, 256);
    p.key("f");
    m.fill_key();
}

TEST_F(WindowTest, InitialPictureIsBlack) {
    Image img = program->capture_until([](const Image& i) { return i.width == 512; });
    ASSERT_EQ(img.width, 512);
    ASSERT_EQ(img.height, 512);
    EXPECT_TRUE(std::all_of(img.rgb.begin(), img.rgb.end(), [](auto c) { return c == 0; }));
    quit();
}

// Docks and task bars find the menu entry of a window by its class.
TEST_F(WindowTest, TheWindowsClassIsTheOneItsMenuEntryNames) {
    const std::string entry = read_file(FLUIDS_DESKTOP_ENTRY);
    const auto at = entry.find("\nStartupWMClass=");
    ASSERT_NE(at, std::string::npos) << "no StartupWMClass in " << FLUIDS_DESKTOP_ENTRY;
    const auto from = at + 16;
    const std::string wm_class = entry.substr(from, entry.find('\n', from) - from);
    std::string prop;
    ASSERT_EQ(xharness::run_command(server->display(),
                                    {"xprop", "-id", std::to_string(program->window()), "WM_CLASS"},
                                    &prop),
              0);
    EXPECT_EQ(prop, "WM_CLASS(STRING) = \"" + wm_class + "\", \"" + wm_class + "\"\n");
    quit();
}

TEST_F(WindowTest, CellsShowObstaclesAndDensityBands) {
    Mirror m;
    colourful_scene(*program, m);
    for (int k = 0; k < 4; ++k) {
        steps(1);
        m.step();
    }
    Image img =
        program->capture_until([&](const Image& i) { return compare_picture(i, *m.s, 4).empty(); });
    EXPECT_EQ(compare_picture(img, *m.s, 4), "");

    // Every band and the obstacle colour are actually on screen.
    int blue = 0, green = 0, red = 0, solid = 0;
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            const std::uint32_t c = img.at(x, y);
            solid += c == BLUE;
            blue += c != BLUE && (c & 0xff) != 0;
            green += (c & 0xff00) != 0;
            red += (c & 0xff0000) != 0;
        }
    }
    EXPECT_GT(solid, 0);
    EXPECT_GT(blue, 0);
    EXPECT_GT(green, 0);
    EXPECT_GT(red, 0);

    // Without the obstacle layer, solid cells without density are not drawn.
    program->key("b");
    for (int& o : m.s->obstacle) o = 0;
    img =
        program->capture_until([&](const Image& i) { return compare_picture(i, *m.s, 4).empty(); });
    EXPECT_EQ(compare_picture(img, *m.s, 4), "");
    quit();
}

TEST_F(WindowTest, VelocityLayerDrawsRedSegments) {
    pause_and_report();
    program->click(3, 256, 256);
    steps(2);
    program->key("b");
    program->key("d");
    program->key("v");
    // Only segments remain (the density layer's red cells are gone).
    auto segments_only = [](const Image& i) {
        bool red = false;
        for (int y = 0; y < i.height; ++y) {
            for (int x = 0; x < i.width; ++x) {
                const std::uint32_t c = i.at(x, y);
                if (c != BLACK && c != RED) return false;
                red |= c == RED;
            }
        }
        return red;
    };
    Image img = program->capture_until(segments_only);
    ASSERT_TRUE(segments_only(img));
    // All of them start near the source.
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            if (img.at(x, y) == RED) {
                EXPECT_LT(std::abs(x - 256) + std::abs(y - 256), 200) << x << "," << y;
            }
        }
    }
    quit();
}

// A scene with all four layers on: two density sources, a drag, six single
// steps; returns the picture once it has settled.
Image all_layers_picture(Program& p) {
    p.key("s");
    p.click(3, 200, 300);
    p.click(3, 330, 240);
    p.move(150, 150);
    p.button_down(1);
    p.move(190, 170);
    p.button_up(1);
    p.key("c");
    for (int k = 0; k < 6; ++k) EXPECT_TRUE(p.step_and_wait_report(k));
    p.key("v");
    p.key("g");
    // Once the last step and both layers are on the screen, the picture
    // stays as it is.
    Image last = p.capture();
    return p.capture_until([&](const Image& i) {
        bool green = false;
        for (int x = 0; x < i.width; ++x) green |= i.at(x, i.height / 2) == GREEN;
        const bool settled = i.rgb == last.rgb && green;
        last = i;
        return settled;
    });
}

// A GL without what the few-primitive drawing needs (here Mesa told to offer
// OpenGL 2.1, or 1.1 as Windows without a vendor driver does) gets the same
// picture, drawn cell by cell, on a 24-bit and a 16-bit screen. For the
// Linux program the draw calls of the last frame tell which path drew it.
TEST_F(WindowTest, AnOlderGLDrawsTheSamePictureCellByCell) {
    quit();
    const bool counted = xharness::fluids_path() == xharness::native_fluids_path();
    char log[] = "/tmp/fluids-calls-XXXXXX";
    close(mkstemp(log));
    for (int depth : {24, 16}) {
        std::unique_ptr<xharness::XServer> other;
        if (depth != 24) other = std::make_unique<xharness::XServer>(depth);
        const xharness::XServer& on = depth == 24 ? *server : *other;
        Image fast;
        for (const char* version : {"", "2.1", "1.1"}) {
            const bool older = *version != '\0';
            if (older) setenv("MESA_GL_VERSION_OVERRIDE", version, 1);
            if (counted) {
                setenv("LD_PRELOAD", GL_CALL_COUNTER, 1);
                setenv("FLUIDS_GL_CALL_LOG", log, 1);
                truncate(log, 0);
            }
            program = std::make_unique<Program>(on, xharness::fluids_path());
            unsetenv("MESA_GL_VERSION_OVERRIDE");
            unsetenv("LD_PRELOAD");
            unsetenv("FLUIDS_GL_CALL_LOG");
            const Image picture = all_layers_picture(*program);
            if (counted) {
                // Draw calls a frame (gl_call_counter.c).
                const std::vector<std::int64_t> calls = xharness::read_counts(log);
                ASSERT_FALSE(calls.empty()) << "no frame counted";
                // Cell by cell: a quad, a segment and an outline for every cell.
                if (older) {
                    EXPECT_GE(calls.back(), 3 * 126 * 126)
                        << "depth " << depth << ", GL " << version;
                } else {
                    EXPECT_LT(calls.back(), 10) << "depth " << depth;
                }
            }
            quit();
            if (!older) {
                fast = picture;
                EXPECT_NE(std::count(fast.rgb.begin(), fast.rgb.end(), 0xff), 0);
            } else {
                EXPECT_TRUE(first_difference::same_picture(fast, picture))
                    << "depth " << depth << ", GL " << version;
            }
        }
    }
    unlink(log);
}

// Drivers that misreport their buffer: 8-8-8 bits on a 5-6-5 screen, no red
// bits at all, 4 samples a pixel shown as none (with glDisable of
// multisampling ignored). The start-up check turns the fast drawing off (the
// last frame is drawn cell by cell), and the picture, at two window sizes
// with all layers on, is the per-cell one of the same screen: of an honest
// driver where the lie is only in what is reported, of the same driver where
// the buffer really is multisampled.
TEST_F(WindowTest, ALyingDriverGetsThePerCellPicture) {
    quit();
    if (xharness::fluids_path() != xharness::native_fluids_path()) {
        GTEST_SKIP() << "the preloaded libraries are Linux ones";
    }
    char log[] = "/tmp/fluids-calls-XXXXXX";
    close(mkstemp(log));
    struct Lie {
        int depth;
        const char* lie;
        bool honest_reference;
    };
    for (const Lie& l :
         {Lie{16, "bits=8,8,8", true}, Lie{24, "bits=0,8,8", true}, Lie{24, "samples", false}}) {
        xharness::XServer on(l.depth);
        std::vector<Image> pictures[2];
        for (int lying = 1; lying >= 0; --lying) {
            if (lying == 0) setenv("MESA_GL_VERSION_OVERRIDE", "2.1", 1);  // cell by cell
            if (lying == 1 || !l.honest_reference) setenv("FLUIDS_GL_LIE", l.lie, 1);
            const std::string preload = std::string(LYING_GL) + ":" + GL_CALL_COUNTER;
            setenv("LD_PRELOAD", preload.c_str(), 1);
            setenv("FLUIDS_GL_CALL_LOG", log, 1);
            truncate(log, 0);
            program = std::make_unique<Program>(on, xharness::fluids_path());
            for (const char* name : {"MESA_GL_VERSION_OVERRIDE", "FLUIDS_GL_LIE", "LD_PRELOAD",
                                     "FLUIDS_GL_CALL_LOG"}) {
                unsetenv(name);
            }
            pictures[lying].push_back(all_layers_picture(*program));
            program->resize(701, 389);
            Image last = program->capture();
            pictures[lying].push_back(program->capture_until([&](const Image& i) {
                const bool settled = i.width == 701 && i.rgb == last.rgb;
                last = i;
                return settled;
            }));
            const std::vector<std::int64_t> calls = xharness::read_counts(log);
            ASSERT_FALSE(calls.empty()) << l.lie;
            EXPECT_GE(calls.back(), 3 * 126 * 126) << l.lie << ": not drawn cell by cell";
            quit();
        }
        for (size_t k = 0; k < 2; ++k) {
            EXPECT_TRUE(first_difference::same_picture(pictures[0][k], pictures[1][k]))
                << l.lie << ", size " << k;
        }
    }
    unlink(log);
}

// The outline image must not keep pixels the window did not own: with a
// driver whose copies hold other contents where the window is covered or
// off the screen, the window is partly covered, moved while still covered
// (its covered part changes with no visibility event), then uncovered. What
// shows of it at each stage is the picture of the window alone.
TEST_F(WindowTest, CoveredAndMovedWindowShowsNoStaleOutlines) {
    quit();
    if (xharness::fluids_path() != xharness::native_fluids_path()) {
        GTEST_SKIP() << "the preloaded library is a Linux one";
    }
    setenv("LD_PRELOAD", LYING_GL, 1);
    setenv("FLUIDS_GL_LIE", "unowned", 1);
    program = std::make_unique<Program>(*server, xharness::fluids_path());
    unsetenv("LD_PRELOAD");
    unsetenv("FLUIDS_GL_LIE");
    const Image alone = all_layers_picture(*program);
    // Whether the window comes to show the lone picture everywhere but in its
    // top-left corner of w by h pixels, which the cover hides.
    auto shows_alone = [&](int w, int h) {
        auto same = [&](const Image& i) {
            if (i.width != alone.width || i.height != alone.height) return false;
            for (int y = 0; y < i.height; ++y) {
                for (int x = 0; x < i.width; ++x) {
                    if ((x >= w || y >= h) && i.at(x, y) != alone.at(x, y)) return false;
                }
            }
            return true;
        };
        return same(program->capture_until(same, std::chrono::seconds(5)));
    };
    {
        xharness::Cover cover(*server, 0, 0, 300, 260);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        program->move_window(200, 150);
        // The cover now hides the window's corner of 100 by 110 pixels.
        EXPECT_TRUE(shows_alone(100, 110)) << "moved while covered";
    }
    EXPECT_TRUE(shows_alone(0, 0)) << "uncovered";
    quit();
}

// A program under test other than the build tree's (the Windows build under
// wine) draws the Linux program's picture, pixel for pixel, in its client
// area.
TEST_F(WindowTest, TheSameSceneDrawsTheLinuxProgramsPicture) {
    if (xharness::fluids_path() == xharness::native_fluids_path()) {
        GTEST_SKIP() << "the program under test is the Linux one";
    }
    const Image tested = all_layers_picture(*program);
    quit();
    program = std::make_unique<Program>(*server, xharness::native_fluids_path());
    const Image linux_picture = all_layers_picture(*program);
    EXPECT_EQ(tested.width, 512);
    EXPECT_TRUE(first_difference::same_picture(linux_picture, tested));
    quit();
}

TEST_F(WindowTest, ClosingTheWindowEndsWithStatusZero) {
    program->key("c");
    ASSERT_TRUE(program->wait_for_output("Total Density: ", 1));
    program->close_window();
    EXPECT_EQ(program->wait_exit(), 0);
}

TEST_F(WindowTest, GridLayerOutlinesEveryCell) {
    program->key("g");
    auto green_count = [](const Image& i) {
        int n = 0;
        for (int y = 0; y < i.height; ++y) {
            for (int x = 0; x < i.width; ++x) n += i.at(x, y) == GREEN;
        }
        return n;
    };
    Image img = program->capture_until([&](const Image& i) { return green_count(i) > 126 * 126; });
    ASSERT_GT(green_count(img), 126 * 126);
    for (int i = 1; i <= 126; ++i) {
        for (int j = 1; j <= 126; ++j) {
            // The middle of a cell is filled black; green lies on its border.
            const int x = j * 4 + 2, y = 511 - (i * 4 + 2);
            EXPECT_EQ(img.at(x, y), BLACK) << i << "," << j;
            bool outlined = false;
            for (int dy = -2; dy <= 2; ++dy) {
                for (int dx = -2; dx <= 2; ++dx) outlined |= img.at(x + dx, y + dy) == GREEN;
            }
            EXPECT_TRUE(outlined) << i << "," << j;
        }
    }
    // Only black and green anywhere, margins included.
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            ASSERT_TRUE(img.at(x, y) == BLACK || img.at(x, y) == GREEN) << x << "," << y;
        }
    }
    quit();
}

TEST_F(WindowTest, ResizesKeepCellsSquareAndHideAllBelow126PixelsWide) {
    Mirror m;
    colourful_scene(*program, m);
    steps(2);
    m.step();
    m.step();

    // 1000 by 300: cells of 7 pixels, the upper rows beyond the window, the
    // columns right of the grid at the clear colour.
    program->resize(1000, 300);
    Image img = program->capture_until(
        [&](const Image& i) { return i.width == 1000 && compare_picture(i, *m.s, 7).empty(); });
    EXPECT_EQ(img.width, 1000);
    EXPECT_EQ(img.height, 300);
    EXPECT_EQ(compare_picture(img, *m.s, 7), "");

    // A right click at (500, 275) lands in column 64, row 10, with the
    // source scaled to the larger cells.
    program->click(3, 500, 275);
    {
        const int c = idx(10, 64);
        m.s->density_src[c] = 882.0f;
        m.s->u_src[c - 128] = -7.0f;
        m.s->v_src[c - 1] = -7.0f;
        m.s->u_src[c + 128] = 7.0f;
        m.s->v_src[c + 1] = 7.0f;
    }
    steps(1);
    m.step();
    img =
        program->capture_until([&](const Image& i) { return compare_picture(i, *m.s, 7).empty(); });
    EXPECT_EQ(compare_picture(img, *m.s, 7), "");

    // Narrower than 126 pixels: cells of no size, nothing of the grid shows.
    for (auto [w, h] : {std::pair{100, 100}, std::pair{125, 400}, std::pair{1, 1}}) {
        program->resize(w, h);
        img = program->capture_until(
            [&](const Image& i) { return i.width == w && compare_picture(i, *m.s, 0).empty(); });
        EXPECT_EQ(img.width, w);
        EXPECT_EQ(compare_picture(img, *m.s, 0), "") << w << " x " << h;
    }

    // Back to the initial size: the same picture as before.
    program->resize(512, 512);
    img = program->capture_until(
        [&](const Image& i) { return i.width == 512 && compare_picture(i, *m.s, 4).empty(); });
    EXPECT_EQ(compare_picture(img, *m.s, 4), "");

    // The report still matches the solver after all the resizes.
    const int before = xharness::count_of(program->output(), "Total Density: ");
    ASSERT_TRUE(program->step_and_wait_report(before));
    m.step();
    quit();
    const std::string out = program->output();
    const std::string last = report_text::report(*m.s);
    ASSERT_GE(out.size(), last.size());
    EXPECT_TRUE(out.compare(out.size() - last.size(), last.size(), last) == 0);
}

}  // namespace
