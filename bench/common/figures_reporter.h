// A console reporter that also keeps every run's counters, so that a
// benchmark program can print its figures beside their references once all
// runs are done.
#pragma once

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <map>
#include <string>
#include <vector>

namespace mpu::bench {

class TFiguresReporter : public benchmark::ConsoleReporter {
 public:
  // Benchmark name -> counter name -> value.
  using Counters = std::map<std::string, double>;
  using Figures = std::map<std::string, Counters>;

  TFiguresReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (!r.error_occurred)
        for (const auto& [name, counter] : r.counters) FFigures[r.benchmark_name()][name] = counter.value;
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    PrintSummary(FFigures);
  }

 protected:
  virtual void PrintSummary(const Figures& figures) = 0;

  // A counter's value, 0 when the run has no such counter.
  static double Value(const Counters& counters, const std::string& name) {
    const auto it = counters.find(name);
    return it == counters.end() ? 0.0 : it->second;
  }

 private:
  Figures FFigures;
};

}  // namespace mpu::bench
