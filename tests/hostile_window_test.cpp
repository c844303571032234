// hostile_window_test.cpp - the real program against hostile use: a seeded
// storm of real X events, and standard output that cannot be written.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "server_test.hpp"
#include "x_harness.hpp"

namespace {

using xharness::Image;
using xharness::Program;
using xharness::Stdout;

class HostileWindowTest : public xharness::ServerTest {
  protected:
    // Escape must end the program with status 0 and nothing on stderr.
    void quit_cleanly(Program& program) {
        program.key("Escape");
        EXPECT_EQ(program.wait_exit(std::chrono::seconds(120)), 0);
        EXPECT_EQ(program.errors(), "") << "the program wrote to its error output";
    }
};

// ---- Input storm ------------------------------------------------------------

// Keys of the command table except Escape, and keys the program ignores:
// other letters and digits, shifted keys, function and cursor keys, control
// combinations (none of them gives the Escape code 27).
const std::vector<std::string> storm_keys = {
    "space",     "B",          "b",           "c",      "d",       "f",         "g",
    "r",         "s",          "v",           "a",      "e",       "h",         "q",
    "x",         "z",          "A",           "C",      "F",       "R",         "S",
    "V",         "0",          "1",           "9",      "Return",  "Tab",       "BackSpace",
    "Delete",    "Insert",     "Home",        "End",    "Prior",   "Next",      "Left",
    "Right",     "Up",         "Down",        "F1",     "F2",      "F5",        "F10",
    "F12",       "ctrl+a",     "ctrl+c",      "ctrl+s", "ctrl+z",  "alt+x",     "shift+Tab",
    "exclam",    "asciitilde", "bracketleft", "KP_Add", "Shift_L", "Control_L", "Caps_Lock",
    "Caps_Lock",
};

// Window sizes: single pixels, widths around the 126-pixel limit of the grid,
// and up to 2000 pixels wide.
const int storm_widths[] = {1, 2, 7, 125, 126, 127, 300, 512, 1000, 2000};
const int storm_heights[] = {1, 2, 9, 128, 300, 512, 1000, 1200};

// Several hundred events, sent in chains of xdotool commands, with simulation
// and report switched on and off along the way. The program must survive all
// of it and quit cleanly on Escape at the end.
TEST_F(HostileWindowTest, SeededInputStormEndsCleanlyOnEscape) {
    Program program(*server, xharness::fluids_path());
    const std::string window = std::to_string(program.window());
    std::mt19937 rng(20261208);
    auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };

    // Mirrors of the two toggles that decide whether reports are printed, so
    // that the 1.4 MB report per frame is not left on for long.
    int simulate_on = 1;
    int dump_on = 0;
    int dump_events = 0;
    bool held[10] = {};
    int width = 512, height = 512;
    int events = 0, keys = 0, moves = 0, buttons = 0, resizes = 0;

    constexpr int EVENTS = 600;
    while (events < EVENTS) {
        std::vector<std::string> chain;
        for (int k = 0; k < 12 && events < EVENTS; ++k, ++events) {
            const int kind = pick(100);
            if (dump_on != 0 && simulate_on != 0 && ++dump_events > 8) {
                chain.insert(chain.end(), {"key", "--delay", "0", "c"});
                dump_on = 0;
                ++keys;
            } else if (kind < 35) {
                const std::string& key = storm_keys[(size_t)pick((int)storm_keys.size())];
                if (key == "c") dump_on ^= 1, dump_events = 0;
                if (key == "s") simulate_on ^= 1;
                chain.insert(chain.end(), {"key", "--delay", "0", key});
                ++keys;
            } else if (kind < 70) {
                // Inside the window, or far beyond any of its edges.
                const bool far = pick(3) == 0;
                const int x = far ? -5000 + pick(14000) : pick(width + 1);
                const int y = far ? -5000 + pick(14000) : pick(height + 1);
                chain.insert(chain.end(), {"mousemove", "--window", window, "--", std::to_string(x),
                                           std::to_string(y)});
                ++moves;
            } else if (kind < 92) {
                // Buttons 1 to 3, the wheel (4 to 7) and extra buttons.
                const int b = 1 + pick(9);
                const bool down = !held[b] && pick(3) != 0;
                held[b] = down;
                chain.insert(chain.end(), {down ? "mousedown" : "mouseup", std::to_string(b)});
                ++buttons;
            } else if (kind < 97) {
                width = storm_widths[pick(10)];
                height = storm_heights[pick(8)];
                chain.insert(chain.end(), {"windowsize", "--sync", window, std::to_string(width),
                                           std::to_string(height)});
                ++resizes;
            } else {
                // Away from the screen's corner, so that the pointer can
                // reach negative window coordinates.
                chain.insert(chain.end(), {"windowmove", "--sync", window,
                                           std::to_string(pick(800)), std::to_string(pick(400))});
                ++moves;
            }
        }
        program.send(chain);
    }
    // Release whatever is still held, then quit.
    std::vector<std::string> release;
    for (int b = 1; b < 10; ++b) {
        if (held[b]) release.insert(release.end(), {"mouseup", std::to_string(b)});
    }
    if (!release.empty()) program.send(release);
    std::printf("storm: %d events (%d keys, %d moves, %d buttons, %d resizes)\n", events, keys,
                moves, buttons, resizes);
    RecordProperty("events", events);
    quit_cleanly(program);
    // Every report that was started was finished.
    const std::string out = program.output();
    EXPECT_EQ(xharness::count_of(out, "Density Field\n"),
              xharness::count_of(out, "Total Density: "));
}

// ---- Standard output that cannot be written ---------------------------------

// With standard output closed, on a full device or a pipe without a reader,
// every report write fails; the program must keep simulating and drawing,
// and quit cleanly on Escape. A closed descriptor 1 must in particular not
// end up as the X connection, and a broken pipe must not end the program.
TEST_F(HostileWindowTest, UnwritableOutputKeepsTheProgramDrawing) {
    for (Stdout target : {Stdout::Closed, Stdout::Full, Stdout::BrokenPipe}) {
        SCOPED_TRACE(target == Stdout::Closed ? "stdout closed"
                     : target == Stdout::Full ? "stdout on /dev/full"
                                              : "stdout a pipe nobody reads");
        Program program(*server, xharness::fluids_path(), {}, target);
        // Report on while simulating: a failed write every frame.
        program.key("c");
        program.click(3, 256, 256);
        auto lit = [](const Image& img) { return img.width > 256 && img.at(256, 256) != 0; };
        Image first = program.capture_until(lit);
        if (!lit(first)) {
            ADD_FAILURE() << "no density drawn where the source is";
            continue;
        }
        // The source keeps feeding and the density keeps spreading.
        Image later = program.capture_until(
            [&](const Image& img) { return img.width == first.width && img.rgb != first.rgb; });
        EXPECT_NE(later.rgb, first.rgb) << "the picture stopped changing";
        // A single step and a resize still go through.
        program.key("s");
        program.key("space");
        program.resize(300, 200);
        Image small = program.capture_until([](const Image& img) { return img.width == 300; });
        EXPECT_EQ(small.width, 300);
        // Hiding the density layer is drawn, too.
        program.key("d");
        program.resize(512, 512);
        Image hidden = program.capture_until(
            [](const Image& img) { return img.width == 512 && img.at(256, 256) == 0; });
        EXPECT_EQ(hidden.at(256, 256), 0u) << "the density layer did not go away";
        quit_cleanly(program);
    }
}

}  // namespace
