// Shared pieces of the benchmark programs: the benchmark image size, the host
// callbacks, a console reporter that also keeps each benchmark's fastest CPU
// time per iteration (so that a program can print ratios between benchmarks
// measured in the same run on a shared, noisy machine), and the start-up.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "records/host_records.h"

namespace vantrel::bench {

// The benchmark image: 12 megapixels, both sides within the host's 16-bit
// rectangles.
constexpr int16 kRows = 3000;
constexpr int16 kColumns = 4000;
constexpr double kMegapixels = double(kRows) * kColumns / 1e6;

// The host callbacks, defined in a translation unit of their own so that no
// call through them can be inlined: an abort test that never stops and a
// progress report that is ignored.
Boolean AnswerContinue();
void IgnoreProgress(int32 done, int32 total);

// The fastest of a benchmark's repetitions: the one least disturbed by the
// machine's other work.
inline double Fastest(const std::vector<double>& times) {
  double best = times.empty() ? 0.0 : times.front();
  for (double t : times) best = t < best ? t : best;
  return best;
}

class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  // Seconds per iteration by benchmark name: the fastest repetition when
  // repeated, else the single run.
  std::map<std::string, double> seconds;
  // Wall-clock time instead of this process's CPU time: for benchmarks whose
  // work runs in other processes.
  bool realTime = false;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool fastest = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (fastest || single) {
        seconds[run.run_name.function_name] = (realTime ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime()) /
                                              benchmark::GetTimeUnitMultiplier(run.time_unit);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The time of `name`, or 0 when it did not run.
  double Seconds(const std::string& name) const {
    const auto it = seconds.find(name);
    return it == seconds.end() ? 0.0 : it->second;
  }
};

// Starts the library with `repetitions` repetitions reported by their
// statistics, unless the command line says otherwise (later flags win).
// Answers false when the command line holds flags the library does not know.
inline bool InitializeWithRepetitions(int argc, char** argv, int repetitions) {
  static std::string repeat;
  static std::string aggregates = "--benchmark_report_aggregates_only=true";
  repeat = "--benchmark_repetitions=" + std::to_string(repetitions);
  std::vector<char*> args = {argv[0], repeat.data(), aggregates.data()};
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  int count = int(args.size());
  benchmark::Initialize(&count, args.data());
  return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

// Registration settings shared by every benchmark here.
inline benchmark::internal::Benchmark* Timed(benchmark::internal::Benchmark* b) {
  return b->Unit(benchmark::kMillisecond)->MinTime(0.2)->ComputeStatistics("min", Fastest);
}

}  // namespace vantrel::bench
