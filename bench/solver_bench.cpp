// solver_bench.cpp - one simulated frame (step_velocity + step_density) of
// the vectorised solver at each instruction-set level against the literal
// reference kernels, on three seeded scenes with sources: a few walls and
// blocks ("frame"), 1200 obstacle cells painted in strokes spread over the
// grid as a user paints them ("painted"), and obstacles on 45% of the cells
// at random, the share of the dense states of the equivalence tests
// ("dense"), where the literal kernels skip the most work.
//
// Every iteration starts from the same developed state (restored outside the
// timed region), so all runs time the same work. After the runs the
// reference/fast ratios are printed; speed never fails a run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fluid.hpp"
#include "globals_copy.hpp"
#include "kernels.hpp"
#include "ratio_reporter.hpp"
#include "reference_solver.hpp"

namespace {

using fluid::cell_index;
using fluid::detail::Isa;

// Strokes of a wandering pointer, each cell painted once, until `cells`
// obstacle cells are set.
void paint_strokes(std::mt19937& rng, int cells) {
    std::uniform_int_distribution<int> start(1, 126), length(10, 60), turn(-1, 1);
    int painted = 0;
    while (painted < cells) {
        int i = start(rng), j = start(rng);
        int di = turn(rng), dj = di == 0 ? 1 : turn(rng);
        for (int n = length(rng); n > 0 && painted < cells; --n) {
            int& c = fluid::obstacle[cell_index(i, j)];
            if (c == 0) ++painted;
            c = 1;
            if (rng() % 4 == 0) (rng() % 2 != 0 ? di : dj) = turn(rng);
            i = std::clamp(i + di, 1, 126);
            j = std::clamp(j + dj, 1, 126);
        }
    }
}

enum Kind { walls, painted, dense };
const char* const kind_names[] = {"frame", "painted", "dense"};

// The developed scene every iteration starts from.
reference::State& scene(Kind kind) {
    static std::unique_ptr<reference::State> states[3];
    std::unique_ptr<reference::State>& state = states[kind];
    if (!state) {
        fluid::clear_state();
        std::mt19937 rng(20240611u);
        std::uniform_int_distribution<int> cell(8, 119);
        if (kind == painted) {
            paint_strokes(rng, 1200);
        } else if (kind == dense) {
            std::bernoulli_distribution solid(0.45);
            for (int j = 1; j <= 126; ++j) {
                for (int i = 1; i <= 126; ++i) fluid::obstacle[cell_index(i, j)] = solid(rng);
            }
        } else {
            // Two painted walls and a dozen seeded solid blocks.
            for (int i = 20; i <= 100; ++i) fluid::obstacle[cell_index(i, 70)] = 1;
            for (int j = 30; j <= 60; ++j) fluid::obstacle[cell_index(90, j)] = 1;
            for (int b = 0; b < 12; ++b) {
                const int i0 = cell(rng), j0 = cell(rng);
                for (int j = j0; j < j0 + 4; ++j) {
                    for (int i = i0; i < i0 + 4; ++i) fluid::obstacle[cell_index(i, j)] = 1;
                }
            }
        }
        // Density sources with pushes and a stirring column.
        for (int s = 0; s < 6; ++s) {
            const int c = cell_index(cell(rng), cell(rng));
            fluid::density_src[c] = 504.0f;
            fluid::u_src[c - 128] = -4.0f;
            fluid::u_src[c + 128] = 4.0f;
            fluid::v_src[c - 1] = -4.0f;
            fluid::v_src[c + 1] = 4.0f;
        }
        for (int i = 5; i <= 15; ++i) {
            fluid::density_src[cell_index(i, 64)] = 504.0f;
            fluid::v_src[cell_index(i, 64)] = 4.0f;
            fluid::u_src[cell_index(i, 40)] = -2.0f;
        }
        // Let the flow develop for a while.
        for (int n = 0; n < 60; ++n) {
            fluid::step_velocity(fluid::time_step);
            fluid::step_density(fluid::diffusion_rate, fluid::time_step);
        }
        state = std::make_unique<reference::State>();
        test_support::save_globals(*state);
    }
    return *state;
}

void fast_frame(benchmark::State& state, Kind kind, Isa level) {
    const reference::State& start = scene(kind);
    if (fluid::detail::force_isa(level) != level) {
        state.SkipWithError("instruction set not supported by this CPU");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        test_support::load_globals(start);
        state.ResumeTiming();
        fluid::step_velocity(fluid::time_step);
        fluid::step_density(fluid::diffusion_rate, fluid::time_step);
        benchmark::DoNotOptimize(fluid::density[cell_index(64, 64)]);
    }
    fluid::detail::force_isa(fluid::detail::best_isa());
}

void reference_frame(benchmark::State& state, Kind kind) {
    const reference::State& start = scene(kind);
    auto s = std::make_unique<reference::State>();
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(s.get(), &start, sizeof start);
        state.ResumeTiming();
        reference::step_velocity(*s, fluid::viscosity, fluid::time_step);
        reference::step_density(*s, fluid::diffusion_rate, fluid::time_step);
        benchmark::DoNotOptimize(s->density[cell_index(64, 64)]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Medians of five runs each: the machine may be shared, and a ratio of
    // single runs swings with whatever else is running.
    std::vector<Isa> levels;
    for (Isa level : {Isa::portable, Isa::sse2, Isa::avx2, Isa::avx512}) {
        if (static_cast<int>(level) <= static_cast<int>(fluid::detail::best_isa())) {
            levels.push_back(level);
        }
    }
    for (Kind kind : {walls, painted, dense}) {
        const std::string name = kind_names[kind];
        benchmark::RegisterBenchmark((name + "/reference").c_str(), reference_frame, kind)
            ->Unit(benchmark::kMicrosecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
        for (Isa level : levels) {
            const std::string fast = name + "/fast/" + fluid::detail::isa_name(level);
            benchmark::RegisterBenchmark(fast.c_str(), fast_frame, kind, level)
                ->Unit(benchmark::kMicrosecond)
                ->Repetitions(5)
                ->ReportAggregatesOnly(true);
        }
    }
    benchmark::Initialize(&argc, argv);
    // CPU time: steadier than wall time on a shared machine.
    bench::RatioReporter reporter(bench::RatioReporter::Clock::cpu);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const std::string kind : kind_names) {
        for (Isa level : levels) {
            const std::string label = "speed-up " + kind + " " + fluid::detail::isa_name(level);
            reporter.print_ratio(label.c_str(), kind + "/reference",
                                 kind + "/fast/" + fluid::detail::isa_name(level));
        }
    }
    return 0;
}
