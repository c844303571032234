// long_run_test.cpp - a scene that blows up, stepped for a long time.
//
// Obstacles are painted as the pointer paints them, and every frame the right
// button places its source and a drag adds velocity next to a wall. The
// velocities then grow without bound, overflow to infinity and turn into NaN.
// The run must stay defined throughout (the sanitized build checks that),
// keep the obstacle mask intact, and its final report must print the
// infinities and NaNs exactly as printf does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "first_difference.hpp"
#include "fluid.hpp"
#include "reference_solver.hpp"
#include "report_text.hpp"
#include "test_support.hpp"
#include "viewer.hpp"
#include "viewer_support.hpp"

namespace {

constexpr int LEFT = 0;
constexpr int RIGHT = 2;
constexpr int DOWN = 0;
constexpr int UP = 1;

#if defined(__SANITIZE_ADDRESS__)
#define LONG_RUN_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LONG_RUN_SANITIZED 1
#endif
#endif

// The frames to run, and the wall-clock budget that may cut the run short:
// an optimised build gets up to three minutes (some 75000 frames while the
// other tests share the machine, all 100000 on a core of its own), a
// sanitized one a minute and a half (some 13000 frames).
// LONG_RUN_FRAMES and LONG_RUN_SECONDS override them.
long frame_target() {
    if (const char* env = std::getenv("LONG_RUN_FRAMES")) return std::atol(env);
    return 100000;
}
double seconds_budget() {
    if (const char* env = std::getenv("LONG_RUN_SECONDS")) return std::atof(env);
#ifdef LONG_RUN_SANITIZED
    return 90.0;
#else
    return 180.0;
#endif
}

// Paints a wall with one press and a drag, then toggles cells all over the
// grid with clicks, in a 512 by 512 window (4 pixels a cell).
void paint_scene() {
    fluid::paint_obstacles = 1;
    fluid::pointer_button(LEFT, DOWN, 160, 300);
    for (int y = 300; y >= 120; y -= 2) fluid::pointer_motion(160, y);
    fluid::pointer_button(LEFT, UP, 160, 120);
    std::mt19937 rng(5);
    for (int k = 0; k < 8000; ++k) {
        const int x = 16 + (int)(rng() % 480);
        const int y = 16 + (int)(rng() % 480);
        fluid::pointer_button(LEFT, DOWN, x, y);
        fluid::pointer_button(LEFT, UP, x, y);
    }
    fluid::paint_obstacles = 0;
}

// What the user keeps doing every frame: a right click beside the wall and a
// drag from the middle of the window to far beyond its top-right corner.
void feed_sources() {
    fluid::pointer_button(RIGHT, DOWN, 180, 250);
    fluid::pointer_button(RIGHT, UP, 180, 250);
    fluid::pointer_button(LEFT, DOWN, 250, 250);
    fluid::pointer_motion(30250, -29750);
    fluid::pointer_button(LEFT, UP, 30250, -29750);
}

// The obstacle mask holds only 0 and 1, and never on the ring.
::testing::AssertionResult mask_intact() {
    for (int j = 0; j < fluid::GRID_SIDE; ++j) {
        for (int i = 0; i < fluid::GRID_SIDE; ++i) {
            const int o = fluid::obstacle[fluid::cell_index(i, j)];
            const bool ring =
                i == 0 || j == 0 || i == fluid::GRID_SIDE - 1 || j == fluid::GRID_SIDE - 1;
            if (o != 0 && o != 1) {
                return ::testing::AssertionFailure() << "obstacle " << o << " at " << i << "," << j;
            }
            if (ring && o != 0) {
                return ::testing::AssertionFailure() << "ring obstacle at " << i << "," << j;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Prints the report of the current state into `text` and compares it with
// printf's text of the same values.
::testing::AssertionResult report_matches_printf(std::string* text) {
    auto state = std::make_unique<reference::State>();
    test_support::save_globals(*state);
    *text = test_support::capture_stdout(
        [] { fluid::print_report(fluid::sum_density(fluid::density)); });
    return first_difference::same_text(report_text::report(*state), *text);
}

// Whether the velocity holds a value that `pred` accepts.
template <typename Pred>
bool velocity_has(Pred pred) {
    for (int k = 0; k < fluid::FIELD_SIZE; ++k) {
        if (pred(fluid::u[k]) || pred(fluid::v[k])) return true;
    }
    return false;
}

bool is_inf(float x) {
    return std::isinf(x);
}
bool is_nan(float x) {
    return std::isnan(x);
}

TEST(LongRun, ObstacleSceneStaysDefinedAndReportsInfAndNanAsPrintf) {
    test_support::reset_viewer();
    paint_scene();

    const long target = frame_target();
    const double budget = seconds_budget();
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    long frames = 0;
    long kicked = 0;
    long first_inf = -1;
    long first_nan = -1;
    while (frames < target) {
        feed_sources();
        fluid::advance_frame();
        ++frames;
        // The first frame with an infinity and the first with a NaN: their
        // reports must print them as printf does.
        std::string text;
        if (first_inf < 0 && velocity_has(is_inf)) {
            first_inf = frames;
            EXPECT_TRUE(report_matches_printf(&text)) << "frame " << frames;
            EXPECT_NE(text.find("inf "), std::string::npos) << "frame " << frames;
        }
        if (first_nan < 0 && velocity_has(is_nan)) {
            first_nan = frames;
            EXPECT_TRUE(report_matches_printf(&text)) << "frame " << frames;
            EXPECT_NE(text.find("nan "), std::string::npos) << "frame " << frames;
        }
        // The growth is exponential but slow: an optimised build overflows
        // to infinity on its own after some ten thousand frames, a slow one
        // may not within its budget. Three quarters into the run, a still
        // finite state gets one infinite velocity in a fluid cell, so that
        // the last quarter runs on infinities and NaNs in every build.
        if (!kicked && first_inf < 0 && first_nan < 0 &&
            (frames >= target * 3 / 4 || elapsed() > budget * 0.75)) {
            int c = fluid::cell_index(64, 64);
            while (fluid::obstacle[c] != 0) ++c;
            fluid::u[c] = INFINITY;
            kicked = frames;
        }
        // The clock is read every 64 frames only.
        if (frames % 64 == 0 && elapsed() > budget) break;
    }
    const double seconds = elapsed();
    std::printf(
        "long run: %ld frames in %.1f s (target %ld); first infinity after frame %ld, first "
        "NaN after frame %ld; infinite velocity set by the test at frame %ld (0: never)\n",
        frames, seconds, target, first_inf, first_nan, kicked);
    RecordProperty("frames", (int)frames);
    RecordProperty("first_inf_frame", (int)first_inf);
    RecordProperty("first_nan_frame", (int)first_nan);
    RecordProperty("kicked_at_frame", (int)kicked);

    EXPECT_TRUE(mask_intact());
    EXPECT_GE(first_nan, 0) << "no NaN in the whole run";

    // The final state: NaN velocities trace back to the zero edge and heal,
    // so it may be finite again; its report must match printf either way.
    std::string text;
    EXPECT_TRUE(report_matches_printf(&text)) << "final report";
    // Both infinities in one report, in case the run left none.
    fluid::u[fluid::cell_index(64, 64)] = INFINITY;
    fluid::v[fluid::cell_index(64, 64)] = -INFINITY;
    fluid::density[fluid::cell_index(64, 64)] = NAN;
    EXPECT_TRUE(report_matches_printf(&text)) << "report with infinities";
    EXPECT_NE(text.find(" inf "), std::string::npos);
    EXPECT_NE(text.find("-inf "), std::string::npos);
}

}  // namespace
