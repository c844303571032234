// solver_bench.cpp - one simulated frame (step_velocity + step_density) of
// the vectorised solver at each instruction-set level against the literal
// reference kernels, on the same seeded scene with obstacles and sources.
//
// Every iteration starts from the same developed state (restored outside the
// timed region), so all runs time the same work. After the runs the
// reference/fast ratios are printed; speed never fails a run.
#include <benchmark/benchmark.h>

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

// The developed scene every iteration starts from.
reference::State& scene() {
    static const std::unique_ptr<reference::State> state = [] {
        fluid::clear_state();
        std::mt19937 rng(20240611u);
        std::uniform_int_distribution<int> cell(8, 119);
        // Two painted walls and a dozen seeded solid blocks.
        for (int i = 20; i <= 100; ++i) fluid::obstacle[cell_index(i, 70)] = 1;
        for (int j = 30; j <= 60; ++j) fluid::obstacle[cell_index(90, j)] = 1;
        for (int b = 0; b < 12; ++b) {
            const int i0 = cell(rng), j0 = cell(rng);
            for (int j = j0; j < j0 + 4; ++j) {
                for (int i = i0; i < i0 + 4; ++i) fluid::obstacle[cell_index(i, j)] = 1;
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
        auto s = std::make_unique<reference::State>();
        test_support::save_globals(*s);
        return s;
    }();
    return *state;
}

void fast_frame(benchmark::State& state, Isa level) {
    const reference::State& start = scene();
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

void reference_frame(benchmark::State& state) {
    const reference::State& start = scene();
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
    const std::string reference_name = "frame/reference";
    // Medians of five runs each: the machine may be shared, and a ratio of
    // single runs swings with whatever else is running.
    benchmark::RegisterBenchmark(reference_name.c_str(), reference_frame)
        ->Unit(benchmark::kMicrosecond)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
    std::vector<Isa> levels;
    for (Isa level : {Isa::portable, Isa::sse2, Isa::avx2, Isa::avx512}) {
        if (static_cast<int>(level) > static_cast<int>(fluid::detail::best_isa())) continue;
        levels.push_back(level);
        const std::string name = std::string("frame/fast/") + fluid::detail::isa_name(level);
        benchmark::RegisterBenchmark(name.c_str(), fast_frame, level)
            ->Unit(benchmark::kMicrosecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    }
    benchmark::Initialize(&argc, argv);
    // CPU time: steadier than wall time on a shared machine.
    bench::RatioReporter reporter(bench::RatioReporter::Clock::cpu);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (Isa level : levels) {
        const std::string label = std::string("speed-up ") + fluid::detail::isa_name(level);
        reporter.print_ratio(label.c_str(), reference_name,
                             std::string("frame/fast/") + fluid::detail::isa_name(level));
    }
    return 0;
}
