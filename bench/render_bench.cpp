// render_bench.cpp - frame time of the window program on a private Xvfb with
// Mesa's software rasteriser: the whole frame (clear, one simulation step,
// drawing, swap, finish) with the per-cell drawing and with the batch, with
// density spread over the grid and the initial toggles; and with the
// velocity layer on. Prints the ratio; never fails on speed.
//
//   build/bench/render_bench [--benchmark_min_time=2]
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "fluid.hpp"
#include "ratio_reporter.hpp"
#include "viewer.hpp"
#include "x_harness.hpp"

namespace {

// Density over the whole grid in all colour bands, a few obstacles, and a
// gentle velocity; the sources keep feeding it.
void spread_scene() {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> d(0.05f, 1.2f), w(-0.05f, 0.05f);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    fluid::clear_state();
    for (int j = 1; j <= 126; ++j) {
        for (int i = 1; i <= 126; ++i) {
            const int c = fluid::cell_index(i, j);
            fluid::density[c] = d(rng);
            fluid::density_src[c] = d(rng);
            fluid::u[c] = w(rng);
            fluid::v[c] = w(rng);
            fluid::obstacle[c] = unit(rng) < 0.02;
        }
    }
}

// One displayed frame as the display handler runs it, with the given drawing.
void frame(void (*draw)()) {
    glClear(GL_COLOR_BUFFER_BIT);
    fluid::advance_frame();
    draw();
    glutSwapBuffers();
    glFinish();
}

void run_frames(benchmark::State& state, void (*draw)(), int velocity) {
    spread_scene();
    fluid::show_velocity = velocity;
    int n = 0;
    for (auto _ : state) {
        frame(draw);
        if (++n % 50 == 0) {
            // Keep the density spread over the grid: restart the scene.
            state.PauseTiming();
            spread_scene();
            state.ResumeTiming();
        }
    }
    fluid::show_velocity = 0;
}

void BM_frame_per_cell(benchmark::State& s) {
    run_frames(s, fluid::draw_cells_per_cell, 0);
}
void BM_frame_batched(benchmark::State& s) {
    run_frames(s, fluid::draw_cells, 0);
}
void BM_frame_velocity_layer(benchmark::State& s) {
    run_frames(s, fluid::draw_cells, 1);
}
BENCHMARK(BM_frame_per_cell)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_frame_batched)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_frame_velocity_layer)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // 1. A private X server and one 512 by 512 window on it.
    xharness::XServer server;
    setenv("DISPLAY", server.display().c_str(), 1);
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB);
    glutInitWindowSize(fluid::window_width, fluid::window_height);
    glutCreateWindow("Compute Stable Fluids");
    fluid::build_cell_quad();
    glutDisplayFunc([] {});
    glutReshapeFunc(fluid::on_reshape);
    for (int n = 0; n < 500; ++n) {
        glutMainLoopEvent();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // 2. The benchmarks, then the ratio.
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter(bench::RatioReporter::Clock::real);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    reporter.print_ratio("drawing speed-up (whole frame, initial toggles)", "BM_frame_per_cell",
                         "BM_frame_batched");
    glutExit();
    return 0;
}
