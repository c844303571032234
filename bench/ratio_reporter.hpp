// ratio_reporter.hpp - the console reporter of the benchmarks, keeping each
// benchmark's time per iteration so that a side-by-side ratio can be printed.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace bench {

/// Prints as the console reporter does and records the times: the median
/// when repetitions are run, else the single run.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    /// Which time a ratio is taken from.
    enum class Clock {
        cpu,   ///< this process's CPU time: steadier on a shared machine
        real,  ///< wall time: for work done also by other threads or processes
    };

    explicit RatioReporter(Clock clock) : clock_(clock) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string& name = run.run_name.function_name;
            const double t =
                clock_ == Clock::cpu ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                time_[name] = t;
                from_median_.insert(name);
            } else if (run.run_type == Run::RT_Iteration && from_median_.count(name) == 0) {
                time_[name] = t;
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
    Clock clock_;
    std::map<std::string, double> time_;
    std::set<std::string> from_median_;
};

}  // namespace bench
