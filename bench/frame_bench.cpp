// frame_bench.cpp - frame times of the real program as a user gets them:
// `fluids` on a private Xvfb with Mesa's software rasteriser, each case in a
// fresh server and process, a fixed scene reached by real input, frames
// timed at the buffer swap after a warm-up. The same cases run with a
// second build of the program that draws every frame cell by cell (the
// literal drawing, built only for this benchmark). Prints milliseconds a
// frame for both and their ratio; never fails on speed.
//
//   build/bench/frame_bench [seconds per case, default 3] [text a case's name must contain]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "x_harness.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// The swap times the preloaded timer has written so far, in nanoseconds of
// CLOCK_MONOTONIC (the clock of steady_clock).
std::vector<std::int64_t> swaps(const std::string& log) {
    return xharness::read_counts(log);
}

std::int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Waits until `frames` more swaps than `after` have happened.
void wait_frames(const std::string& log, size_t after, size_t frames) {
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (swaps(log).size() < after + frames && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

struct Case {
    const char* name;
    bool scene;                     // the fixed scene first
    std::vector<std::string> keys;  // then these keys
    int depth = 24;                 // of the screen, in bits
};

// The scene: simulation paused, 25 density sources by right-clicks, a drag
// of the left button, the fixed source, then 40 single steps, each waited
// for.
void build_scene(xharness::Program& p, const std::string& log) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> at(40, 470);
    for (int k = 0; k < 25; ++k) p.click(3, at(rng), at(rng));
    p.move(100, 400);
    p.button_down(1);
    for (int k = 1; k <= 20; ++k) p.move(100 + 15 * k, 400 - 12 * k);
    p.button_up(1);
    p.key("f");
    for (int k = 0; k < 40; ++k) {
        const size_t n = swaps(log).size();
        p.key("space");
        wait_frames(log, n, 2);
    }
}

// Milliseconds a frame of one case with one build.
double run_case(const std::string& exe, const Case& c, double seconds) {
    xharness::XServer server(c.depth);
    char dir[] = "/tmp/fluids-frames-XXXXXX";
    if (mkdtemp(dir) == nullptr) return -1;
    const std::string log = std::string(dir) + "/swaps";
    setenv("FLUIDS_SWAP_LOG", log.c_str(), 1);
    double ms = -1;
    {
        // The report is read as a terminal would, but not kept.
        xharness::Program p(server, exe, {}, xharness::Stdout::Discarded);
        p.key("s");  // pause
        wait_frames(log, swaps(log).size(), 2);
        if (c.scene) build_scene(p, log);
        for (const auto& k : c.keys) p.key(k);
        std::this_thread::sleep_for(std::chrono::seconds(1));  // warm-up
        const std::int64_t from = now_ns();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const std::int64_t to = now_ns();
        std::vector<std::int64_t> t = swaps(log);
        t.erase(
            std::remove_if(t.begin(), t.end(), [&](std::int64_t x) { return x < from || x > to; }),
            t.end());
        if (t.size() >= 2) ms = (double)(t.back() - t.front()) / 1e6 / (double)(t.size() - 1);
        p.key("Escape");
        p.wait_exit();
    }
    unsetenv("FLUIDS_SWAP_LOG");
    unlink(log.c_str());
    rmdir(dir);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    const std::string only = argc > 2 ? argv[2] : "";
    // The timer goes into the programs only, through the harness's
    // environment of its children.
    setenv("LD_PRELOAD", FLUIDS_SWAP_TIMER, 1);
    const Case cases[] = {
        {"empty fields, initial layers", false, {}},
        {"density over much of the grid, initial layers", true, {}},
        {"+ velocity layer (v)", true, {"v"}},
        {"+ grid layer (g) instead", true, {"g"}},
        {"all four layers", true, {"v", "g"}},
        {"all four layers, 16-bit screen (5-6-5)", true, {"v", "g"}, 16},
        {"simulating with the report on (s, c)", true, {"s", "c"}},
    };
    std::printf("%-48s %12s %12s %8s\n", "case", "fluids ms", "per-cell ms", "ratio");
    for (const Case& c : cases) {
        if (std::string(c.name).find(only) == std::string::npos) continue;
        const double fast = run_case(FLUIDS_EXECUTABLE_FAST, c, seconds);
        const double literal = run_case(FLUIDS_EXECUTABLE_PER_CELL, c, seconds);
        std::printf("%-48s %12.2f %12.2f %7.1fx\n", c.name, fast, literal, literal / fast);
        std::fflush(stdout);
    }
    return 0;
}
