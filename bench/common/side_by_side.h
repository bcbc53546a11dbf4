// Side-by-side figures for the benchmarks: runs the registered benchmarks, then prints each named ratio between
// two of them (throughput against throughput), measured in the same run.
//
// Usage: in main, call RunSideBySide(argc, argv, {{"corvane", "raw", "bytes_per_second"}, ...}).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

struct Ratio {
  std::string numerator;    // a prefix of a benchmark's name
  std::string denominator;  // a prefix of another benchmark's name
  std::string counter;      // "bytes_per_second", or a user counter's name
};

class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration && run.aggregate_name != "mean") continue;
      for (const auto& [name, counter] : run.counters) values_[run.benchmark_name()][name] = counter.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The counter of the first benchmark whose name begins with `prefix`.
  bool Find(const std::string& prefix, const std::string& counter, double* value) const {
    for (const auto& [name, counters] : values_) {
      if (name.rfind(prefix, 0) != 0) continue;
      auto it = counters.find(counter);
      if (it == counters.end()) continue;
      *value = it->second;
      return true;
    }
    return false;
  }

 private:
  std::map<std::string, std::map<std::string, double>> values_;
};

inline int RunSideBySide(int argc, char** argv, const std::vector<Ratio>& ratios) {
  benchmark::Initialize(&argc, argv);
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const Ratio& ratio : ratios) {
    double top = 0, bottom = 0;
    if (reporter.Find(ratio.numerator, ratio.counter, &top) && reporter.Find(ratio.denominator, ratio.counter, &bottom) &&
        bottom != 0) {
      std::printf("ratio %s / %s (%s): %.3f\n", ratio.numerator.c_str(), ratio.denominator.c_str(),
                  ratio.counter.c_str(), top / bottom);
    }
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
