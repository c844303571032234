// report_bench.cpp - one whole console report (3 fields of 16384 values and
// the total) written with one printf per value, against print_report, which
// formats into blocks. Both write through stdout, pointed at /dev/null while
// a report is timed. Prints the speed-up at the end; never fails on speed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "fluid.hpp"
#include "ratio_reporter.hpp"
#include "viewer.hpp"

namespace {

// The report as one printf per value writes it.
void printf_field(const float* f) {
    for (int i = fluid::GRID_SIDE - 1; i >= 0; --i) {
        for (int j = 0; j < fluid::GRID_SIDE; ++j)
            std::printf("%f ", (double)f[fluid::cell_index(i, j)]);
        std::printf("\n");
    }
}

void printf_report(float total) {
    std::printf("\n\nDensity Field\n");
    printf_field(fluid::density);
    std::printf("\n\nu Field\n");
    printf_field(fluid::u);
    std::printf("\n\nv Field\n");
    printf_field(fluid::v);
    std::printf("\n\nTotal Density: %f\n", (double)total);
    std::fflush(stdout);
}

// A spread like a running simulation's: many zeros and small values of both
// signs, some large, a few infinities and NaNs.
void fill_fields() {
    std::mt19937 rng(12345u);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    float* fields[] = {fluid::density, fluid::u, fluid::v};
    for (float* f : fields) {
        for (int k = 0; k < fluid::FIELD_SIZE; ++k) {
            const double r = unit(rng);
            if (r < 0.35) {
                f[k] = 0.0f;
            } else if (r < 0.70) {
                f[k] = (float)((unit(rng) - 0.5) * 0.02);
            } else if (r < 0.95) {
                f[k] = (float)((unit(rng) - 0.3) * 300.0);
            } else if (r < 0.995) {
                f[k] = (float)((unit(rng) - 0.5) * 1e9);
            } else {
                const float odd[] = {INFINITY, -INFINITY, NAN, -NAN, 3.0e38f};
                f[k] = odd[rng() % 5];
            }
        }
    }
}

// Points file descriptor 1 at /dev/null for its lifetime.
class StdoutToNull {
  public:
    StdoutToNull() {
        std::fflush(stdout);
        saved_ = dup(1);
        const int null_fd = open("/dev/null", O_WRONLY);
        dup2(null_fd, 1);
        close(null_fd);
    }
    ~StdoutToNull() {
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
    }
    StdoutToNull(const StdoutToNull&) = delete;
    StdoutToNull& operator=(const StdoutToNull&) = delete;

  private:
    int saved_;
};

constexpr float TOTAL = 4321.125f;

void BM_report_printf(benchmark::State& state) {
    StdoutToNull to_null;
    for (auto _ : state) printf_report(TOTAL);
}
BENCHMARK(BM_report_printf)->Unit(benchmark::kMillisecond);

void BM_report_fast(benchmark::State& state) {
    StdoutToNull to_null;
    for (auto _ : state) fluid::print_report(TOTAL);
}
BENCHMARK(BM_report_fast)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    fill_fields();
    // The same stdout buffering whether the bench runs on a terminal or not.
    std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter(bench::RatioReporter::Clock::cpu);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    reporter.print_ratio("report speed-up", "BM_report_printf", "BM_report_fast");
    return 0;
}
