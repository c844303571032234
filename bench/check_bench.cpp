// check_bench.cpp - what the fast drawing's start-up check costs: the time of
// the check at the first frame of each window size, in a GLUT window of
// this process on a private Xvfb with Mesa's llvmpipe, at the sizes a user
// resizes through. The first check of a context also pays for compiling the
// rasteriser's code for the check's drawing; later ones show the check's own
// cost. Prints milliseconds; never fails on speed.
//
//   build/bench/check_bench [rounds, default 5]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "fluid.hpp"
#include "glut_window.hpp"
#include "viewer.hpp"
#include "x_harness.hpp"

namespace {

// Resizes the window and draws a frame with every layer; returns the
// check's time.
double check_at(int w, int h) {
    glut_window::resize(w, h);
    glClear(GL_COLOR_BUFFER_BIT);
    fluid::draw_cells();
    glFinish();
    const fluid::FastDrawingCheck c = fluid::fast_drawing_check();
    if (c.width != w || c.height != h || !c.numbers) {
        std::printf("%d x %d: check not made or failed\n", w, h);
    }
    return c.milliseconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // 1. A private server and a window on it, as the program opens it (without
    //    shared-memory images, which Mesa's software GLX keeps per process).
    xharness::XServer server(24, {"-extension", "MIT-SHM"});
    if (!glut_window::open(server, "llvmpipe") || !fluid::fast_drawing) {
        std::printf("no fast drawing in this GL\n");
        return 1;
    }
    fluid::show_obstacles = fluid::show_density = fluid::show_velocity = fluid::show_grid = 1;

    // 2. The sizes, round after round; the first check separately.
    const std::pair<int, int> sizes[] = {{512, 512}, {1024, 768}, {701, 389}, {300, 300}};
    std::printf("first check of the context, 640 x 480: %.2f ms\n", check_at(640, 480));
    for (auto [w, h] : sizes) {
        std::vector<double> ms;
        for (int r = 0; r < rounds; ++r) {
            check_at(w == 300 ? 301 : 300, 300);  // another size between
            ms.push_back(check_at(w, h));
        }
        std::sort(ms.begin(), ms.end());
        std::printf("check at %4d x %-4d median %.2f ms (of %d, %.2f to %.2f)\n", w, h,
                    ms[ms.size() / 2], rounds, ms.front(), ms.back());
    }
    glutExit();
    return 0;
}
