// ratio_reporter.hpp - the console reporter of the benchmarks, keeping each
// benchmark's time per iteration so that a side-by-side ratio can be printed.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

/// Prints as the console reporter does and records the times.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                time_[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    /// Time per iteration of a benchmark in its reported unit, or 0.
    double time(const std::string& name) const {
        const auto it = time_.find(name);
        return it == time_.end() ? 0.0 : it->second;
    }

    /// Prints "<label>: <slow / fast>x" when both were run.
    void print_ratio(const char* label, const std::string& slow, const std::string& fast) const {
        if (time(slow) > 0 && time(fast) > 0) {
            std::printf("%s: %.1fx\n", label, time(slow) / time(fast));
        }
    }

  private:
    std::map<std::string, double> time_;
};

}  // namespace bench
