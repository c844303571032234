// viewer_logic_test.cpp - the keyboard commands, the pointer actions and the
// frame advance, driven directly (no display).
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "fluid.hpp"
#include "reference_solver.hpp"
#include "test_support.hpp"
#include "viewer.hpp"
#include "viewer_support.hpp"

namespace {

using fluid::cell_index;

// Every toggle, in key order, with its key.
struct ToggleKey {
    unsigned char key;
    int* flag;
};
const ToggleKey toggle_keys[] = {
    {'B', &fluid::paint_obstacles}, {'b', &fluid::show_obstacles}, {'c', &fluid::dump_on},
    {'d', &fluid::show_density},    {'g', &fluid::show_grid},      {'s', &fluid::simulate_on},
    {'v', &fluid::show_velocity},
};

class ViewerLogic : public ::testing::Test {
  protected:
    void SetUp() override {
        test_support::reset_viewer();
        fluid::button_state = 1;  // as after a release
    }

    static std::vector<int> toggles() {
        std::vector<int> t;
        for (const auto& k : toggle_keys) t.push_back(*k.flag);
        t.push_back(fluid::step_requested);
        return t;
    }

    static bool fields_zero() {
        const float* fields[] = {fluid::u,     fluid::v,       fluid::u_src,
                                 fluid::v_src, fluid::density, fluid::density_src};
        for (const float* f : fields) {
            for (int k = 0; k < fluid::FIELD_SIZE; ++k) {
                if (f[k] != 0.0f) return false;
            }
        }
        for (int k = 0; k < fluid::FIELD_SIZE; ++k) {
            if (fluid::obstacle[k] != 0) return false;
        }
        return true;
    }

    // Maps a window pixel as the pointer handlers do.
    static fluid::PointerCell cell_at(int x, int y) {
        fluid::pointer_x = x;
        fluid::pointer_y = y;
        return fluid::pointer_cell();
    }
};

TEST_F(ViewerLogic, EachToggleKeyFlipsOnlyItsOwnFlag) {
    for (const auto& k : toggle_keys) {
        auto before = toggles();
        EXPECT_TRUE(fluid::keyboard_command(k.key));
        auto after = toggles();
        for (size_t n = 0; n < before.size(); ++n) {
            const bool own = &k - toggle_keys == (std::ptrdiff_t)n;
            EXPECT_EQ(after[n], own ? 1 - before[n] : before[n]) << "key " << k.key;
        }
        fluid::keyboard_command(k.key);
        EXPECT_EQ(toggles(), before) << "pressing " << k.key << " twice";
    }
    EXPECT_TRUE(fields_zero());
}

TEST_F(ViewerLogic, SpaceRequestsAStepAndEscapeAsksToQuit) {
    EXPECT_TRUE(fluid::keyboard_command(' '));
    EXPECT_EQ(fluid::step_requested, 1);
    EXPECT_TRUE(fluid::keyboard_command(' '));
    EXPECT_EQ(fluid::step_requested, 1);
    EXPECT_FALSE(fluid::keyboard_command(27));
}

TEST_F(ViewerLogic, UnknownKeysChangeNothing) {
    const auto before = toggles();
    for (int key = 0; key < 256; ++key) {
        if (std::strchr("BbcdfgrsvS ", key) != nullptr && key != 0) continue;
        if (key == 27) continue;
        EXPECT_TRUE(fluid::keyboard_command((unsigned char)key));
    }
    EXPECT_TRUE(fluid::keyboard_command('S'));  // case matters
    EXPECT_EQ(toggles(), before);
    EXPECT_TRUE(fields_zero());
}

// The manual page's KEYS section lists exactly the keys that do something,
// so that the two cannot drift apart. Each tag there is a ".B key" line
// after ".TP".
TEST_F(ViewerLogic, ManualPageListsExactlyTheKeysThatAct) {
    std::ifstream page(FLUIDS_MAN_PAGE);
    ASSERT_TRUE(page) << "cannot read " FLUIDS_MAN_PAGE;
    std::set<std::string> listed;
    bool in_keys = false;
    for (std::string line, prev; std::getline(page, line); prev = line) {
        if (line.rfind(".SH ", 0) == 0) {
            in_keys = line == ".SH KEYS";
        } else if (in_keys && prev == ".TP" && line.rfind(".B ", 0) == 0) {
            listed.insert(line.substr(3));
        }
    }

    std::set<std::string> acting;
    auto before = std::make_unique<reference::State>();
    auto after = std::make_unique<reference::State>();
    for (int key = 0; key < 256; ++key) {
        test_support::reset_viewer();
        fluid::density[cell_index(5, 5)] = 1.0f;  // so that a reset changes something
        test_support::save_globals(*before);
        const auto flags = toggles();
        const bool quits = !fluid::keyboard_command((unsigned char)key);
        test_support::save_globals(*after);
        if (quits || toggles() != flags || !test_support::same_state(*before, *after)) {
            acting.insert(key == 27 ? "Escape" : key == ' ' ? "space" : std::string(1, (char)key));
        }
    }
    EXPECT_EQ(acting, listed);
    EXPECT_EQ(acting.size(), 11u);
}

TEST_F(ViewerLogic, FillSourceIsAssignedAtTheBottomMiddleCell) {
    fluid::density_src[cell_index(1, 64)] = 7.0f;
    fluid::keyboard_command('f');
    fluid::keyboard_command('f');
    EXPECT_EQ(fluid::density_src[cell_index(1, 64)], 504.0f);
    EXPECT_EQ(fluid::v_src[cell_index(1, 64)], 4.0f);
    EXPECT_EQ(fluid::u_src[cell_index(1, 64)], 0.0f);
    // At a width of 1000 the cells are 7 pixels wide.
    fluid::window_width = 1000;
    fluid::update_cell_size();
    fluid::keyboard_command('f');
    EXPECT_EQ(fluid::density_src[cell_index(1, 64)], 882.0f);
    EXPECT_EQ(fluid::v_src[cell_index(1, 64)], 7.0f);
}

TEST_F(ViewerLogic, ResetClearsFieldsButKeepsTogglesCellSizeAndPointer) {
    for (unsigned char k : {'c', 'v', 'g', 'B', 's'}) fluid::keyboard_command(k);
    fluid::keyboard_command('f');
    fluid::pointer_button(0, 0, 100, 100);  // paints a cell (painting is on)
    fluid::pointer_motion(120, 140);
    ASSERT_FALSE(fields_zero());
    const auto before = toggles();
    fluid::keyboard_command('r');
    EXPECT_TRUE(fields_zero());
    EXPECT_EQ(toggles(), before);
    EXPECT_EQ(fluid::cell_px, 4.0f);
    EXPECT_EQ(fluid::pointer_x, 120);
    EXPECT_EQ(fluid::pointer_y, 140);
    EXPECT_EQ(fluid::prev_pointer_x, 100);
    EXPECT_EQ(fluid::prev_pointer_y, 100);
    EXPECT_EQ(fluid::button_state, 0);
}

TEST_F(ViewerLogic, PointerMapsToInteriorCellsAndClampsOutsideTheWindow) {
    auto expect_cell = [&](int x, int y, int col, int row) {
        const auto cell = cell_at(x, y);
        EXPECT_EQ(cell.col, col) << "x " << x << " y " << y;
        EXPECT_EQ(cell.row, row) << "x " << x << " y " << y;
    };
    expect_cell(256, 256, 64, 64);
    expect_cell(0, 511, 1, 1);  // the outer 4 pixels map to the nearest interior cell
    expect_cell(511, 0, 126, 126);
    expect_cell(4, 508, 1, 1);
    expect_cell(507, 4, 126, 126);
    expect_cell(100, 400, 25, 28);
    expect_cell(100, 399, 25, 28);
    expect_cell(100, 396, 25, 29);  // top pixel row of a drawn cell maps to the row above
    expect_cell(-5, 256, 1, 64);    // outside the window
    expect_cell(512, 256, 126, 64);
    expect_cell(256, -40, 64, 126);
    expect_cell(256, 600, 64, 1);
    expect_cell(INT_MAX, INT_MIN, 126, 126);  // no overflow, no undefined conversion
    expect_cell(INT_MIN, INT_MAX, 1, 1);

    fluid::window_width = 1000;
    expect_cell(500, 256, 64, 64);
    fluid::window_width = 512;

    // A window of no size: every position is outside it.
    fluid::window_width = 0;
    fluid::window_height = 0;
    expect_cell(0, 0, 126, 1);
    expect_cell(-1, -1, 1, 126);
    expect_cell(10, 10, 126, 1);
    fluid::window_width = 1;
    fluid::window_height = 1;
    expect_cell(0, 0, 1, 126);
    expect_cell(1, 1, 126, 1);
}

TEST_F(ViewerLogic, RightButtonWritesDensityAndFourVelocitiesOnPressAndRelease) {
    fluid::pointer_button(2, 0, 256, 256);
    fluid::pointer_button(2, 1, 256, 256);
    const int c = cell_index(64, 64);
    EXPECT_EQ(fluid::density_src[c], 504.0f);
    EXPECT_EQ(fluid::u_src[c - 128], -4.0f);
    EXPECT_EQ(fluid::u_src[c + 128], 4.0f);
    EXPECT_EQ(fluid::v_src[c - 1], -4.0f);
    EXPECT_EQ(fluid::v_src[c + 1], 4.0f);
    EXPECT_EQ(fluid::u_src[c], 0.0f);
    EXPECT_EQ(fluid::v_src[c], 0.0f);

    // In the first interior column the pattern reaches the ring of u_src.
    fluid::pointer_button(2, 0, 0, 256);
    EXPECT_EQ(fluid::u_src[cell_index(64, 0)], -4.0f);
}

TEST_F(ViewerLogic, LeftDragAddsItsMotionMeasuredFromThePress) {
    fluid::pointer_button(0, 0, 300, 300);  // a press alone writes nothing
    EXPECT_TRUE(fields_zero());
    fluid::pointer_motion(320, 290);
    const int c = cell_index(55, 80);
    EXPECT_EQ(fluid::u_src[c], 80.0f);
    EXPECT_EQ(fluid::v_src[c], 40.0f);  // upward motion is positive
    fluid::pointer_motion(320, 290);    // no motion, nothing added
    EXPECT_EQ(fluid::u_src[c], 80.0f);
    fluid::pointer_button(0, 1, 320, 290);
    EXPECT_FALSE(fluid::pointer_motion(400, 400));  // released: motion is ignored
    EXPECT_EQ(fluid::pointer_x, 320);
}

TEST_F(ViewerLogic, RightAndMiddleDragsActLikeTheLeftButton) {
    for (int button : {1, 2}) {
        fluid::clear_state();
        fluid::pointer_button(button, 0, 400, 100);
        fluid::u_src[cell_index(103, 100)] = 0.0f;  // undo the right button's pattern
        fluid::density_src[cell_index(103, 100)] = 0.0f;
        fluid::pointer_motion(390, 110);
        EXPECT_EQ(fluid::u_src[cell_index(100, 97)], -40.0f) << button;
        EXPECT_EQ(fluid::v_src[cell_index(100, 97)], -40.0f) << button;
    }
}

TEST_F(ViewerLogic, MiddleButtonOnlyMovesThePointer) {
    EXPECT_TRUE(fluid::pointer_button(1, 0, 50, 60));
    EXPECT_TRUE(fluid::pointer_button(1, 1, 70, 80));
    EXPECT_TRUE(fields_zero());
    EXPECT_EQ(fluid::prev_pointer_x, 50);
    EXPECT_EQ(fluid::pointer_y, 80);
}

TEST_F(ViewerLogic, PaintingTogglesEachNewlyEnteredCellOncePerPress) {
    fluid::keyboard_command('B');
    auto solid = [](int row, int col) { return fluid::obstacle[cell_index(row, col)]; };
    fluid::pointer_button(0, 0, 200, 200);  // cell (78, 50)
    EXPECT_EQ(solid(78, 50), 1);
    fluid::pointer_motion(201, 201);  // same cell: no second toggle
    EXPECT_EQ(solid(78, 50), 1);
    fluid::pointer_motion(204, 200);  // (78, 51)
    fluid::pointer_motion(208, 200);  // (78, 52)
    fluid::pointer_motion(204, 200);  // back onto (78, 51), not the last one: toggled again
    EXPECT_EQ(solid(78, 51), 0);
    EXPECT_EQ(solid(78, 52), 1);
    fluid::pointer_button(0, 1, 204, 200);  // a release paints nothing
    EXPECT_EQ(solid(78, 51), 0);
    // A new press on the cell painted last toggles it, since a press clears
    // the last painted cell.
    fluid::pointer_button(0, 0, 204, 200);
    EXPECT_EQ(solid(78, 51), 1);
    fluid::pointer_button(0, 1, 204, 200);
    fluid::pointer_button(0, 0, 204, 200);
    EXPECT_EQ(solid(78, 51), 0);
    // Painting never adds velocity, and the right button still injects.
    EXPECT_EQ(fluid::u_src[cell_index(78, 51)], 0.0f);
    fluid::pointer_button(2, 0, 256, 256);
    EXPECT_EQ(fluid::density_src[cell_index(64, 64)], 504.0f);
    EXPECT_EQ(solid(64, 64), 0);
}

TEST_F(ViewerLogic, FrameAdvanceStepsOnlyWhenOnOrRequested) {
    fluid::simulate_on = 0;
    fluid::density_src[cell_index(1, 64)] = 504.0f;
    fluid::advance_frame();
    EXPECT_EQ(fluid::density[cell_index(1, 64)], 0.0f);
    fluid::keyboard_command(' ');
    fluid::advance_frame();
    EXPECT_EQ(fluid::step_requested, 0);
    const float total = fluid::total_density;
    EXPECT_GT(total, 0.0f);
    auto now = std::make_unique<reference::State>();
    test_support::save_globals(*now);
    fluid::advance_frame();  // paused: nothing moves, the total is kept
    auto later = std::make_unique<reference::State>();
    test_support::save_globals(*later);
    EXPECT_TRUE(test_support::same_state(*now, *later));
    EXPECT_EQ(fluid::total_density, total);
}

TEST_F(ViewerLogic, TotalDensityIgnoresTheRing) {
    for (int k = 0; k < fluid::FIELD_SIZE; ++k) fluid::density[k] = 1.0f;
    EXPECT_EQ(fluid::sum_density(fluid::density), 126.0f * 126.0f);
    EXPECT_EQ(fluid::sum_density(fluid::density), reference::total_density(fluid::density));
}

}  // namespace
