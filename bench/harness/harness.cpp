#include "harness.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace tarvex::bench {
namespace {

double scaleFactor = 1.0;

struct Rounds {
  std::int64_t order = 0;  // family index: the order of registration
  std::string unit;
  std::vector<double> values;
};

struct CaseResults {
  std::int64_t order = 0;             // smallest family index of the case
  std::vector<std::string> subjects;  // in order of registration
  std::map<std::string, Rounds> bySubject;
};

struct Summary {
  double median;
  double min;
  double max;
};

Summary summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double median =
      n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

std::string jsonEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// Prints Google Benchmark's usual line per round and keeps every round's
// figure, grouped by case and subject, for the summary at the end.
class RoundsReporter : public benchmark::ConsoleReporter {
 public:
  RoundsReporter(std::string program, std::string resultsPath)
      : program_(std::move(program)), resultsPath_(std::move(resultsPath)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      collect(run);
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    sortByRegistration();
    printSummary(std::cout);
    if (!resultsPath_.empty()) writeResults();
  }

 private:
  void collect(const Run& run) {
    const std::string& name = run.run_name.function_name;
    const auto slash = name.rfind('/');
    const std::string caseName = name.substr(0, slash);
    const std::string subject =
        slash == std::string::npos ? "ours" : name.substr(slash + 1);
    if (!cases_.count(caseName)) {
      caseOrder_.push_back(caseName);
      cases_[caseName].order = run.family_index;
    }
    CaseResults& results = cases_[caseName];
    results.order = std::min(results.order, run.family_index);
    if (!results.bySubject.count(subject)) results.subjects.push_back(subject);
    Rounds& rounds = results.bySubject[subject];
    rounds.order = run.family_index;
    const auto metric = run.counters.find("metric");
    if (metric != run.counters.end()) {
      rounds.values.push_back(metric->second.value);
      rounds.unit = run.report_label.empty() ? "value" : run.report_label;
    } else {
      // A benchmark without its own figure is a single-threaded loop that
      // never blocks; its CPU time per iteration is its cost, and unlike the
      // real time it does not grow when other processes take the CPU. The
      // time is in the run's unit; these benchmarks keep nanoseconds.
      rounds.values.push_back(run.GetAdjustedCPUTime());
      rounds.unit = "ns/op";
    }
  }

  // Rounds arrive interleaved at random; report in the order of
  // registration.
  void sortByRegistration() {
    std::sort(caseOrder_.begin(), caseOrder_.end(),
              [this](const std::string& a, const std::string& b) {
                return cases_.at(a).order < cases_.at(b).order;
              });
    for (auto& [name, results] : cases_) {
      std::sort(results.subjects.begin(), results.subjects.end(),
                [&results](const std::string& a, const std::string& b) {
                  return results.bySubject.at(a).order <
                         results.bySubject.at(b).order;
                });
    }
  }

  void printSummary(std::ostream& out) const {
    out << "\n== " << program_
        << ": median [min .. max] of the rounds; ratio = ours / peer\n";
    for (const std::string& caseName : caseOrder_) {
      const CaseResults& results = cases_.at(caseName);
      const Rounds* ours = nullptr;
      if (results.bySubject.count("ours")) ours = &results.bySubject.at("ours");
      const double oursMedian = ours ? summarise(ours->values).median : 0.0;
      out << "case " << caseName << " ("
          << results.bySubject.at(results.subjects.front()).unit << ")\n";
      for (const std::string& subject : results.subjects) {
        const Rounds& rounds = results.bySubject.at(subject);
        const Summary s = summarise(rounds.values);
        out << "  " << std::left << std::setw(16) << subject << std::right
            << std::fixed << std::setprecision(2) << std::setw(14) << s.median
            << "  [" << s.min << " .. " << s.max << "]  "
            << rounds.values.size() << " rounds";
        if (ours && subject != "ours" && s.median > 0) {
          out << "  ours/" << subject << " = " << std::setprecision(3)
              << oursMedian / s.median;
        }
        out << '\n';
      }
    }
    out.flush();
  }

  void writeResults() const {
    std::ofstream out(resultsPath_, std::ios::app);
    if (!out) {
      std::cerr << "cannot write " << resultsPath_ << '\n';
      return;
    }
    out << std::setprecision(6);
    for (const std::string& caseName : caseOrder_) {
      const CaseResults& results = cases_.at(caseName);
      for (const std::string& subject : results.subjects) {
        const Rounds& rounds = results.bySubject.at(subject);
        const Summary s = summarise(rounds.values);
        out << "{\"program\":\"" << jsonEscape(program_) << "\",\"case\":\""
            << jsonEscape(caseName) << "\",\"subject\":\""
            << jsonEscape(subject) << "\",\"unit\":\""
            << jsonEscape(rounds.unit) << "\",\"median\":" << s.median
            << ",\"min\":" << s.min << ",\"max\":" << s.max
            << ",\"rounds\":" << rounds.values.size() << "}\n";
      }
    }
  }

  std::string program_;
  std::string resultsPath_;
  std::vector<std::string> caseOrder_;
  std::map<std::string, CaseResults> cases_;
};

bool takeFlag(const char* arg, const char* flag, std::string& value) {
  const std::size_t length = std::strlen(flag);
  if (std::strncmp(arg, flag, length) != 0 || arg[length] != '=') return false;
  value = arg + length + 1;
  return true;
}

}  // namespace

int runBenchmarks(int argc, char** argv, const char* program) {
  std::vector<char*> args;
  std::string resultsPath;
  std::string value;
  bool repetitionsGiven = false;
  bool interleavingGiven = false;
  for (int i = 0; i < argc; ++i) {
    if (takeFlag(argv[i], "--tarvex_results", value)) {
      resultsPath = value;
    } else if (takeFlag(argv[i], "--tarvex_scale", value)) {
      scaleFactor = std::stod(value);
    } else {
      if (std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0)
        repetitionsGiven = true;
      if (std::strncmp(argv[i], "--benchmark_enable_random_interleaving", 38) ==
          0)
        interleavingGiven = true;
      args.push_back(argv[i]);
    }
  }
  static char repetitions[] = "--benchmark_repetitions=5";
  static char interleaving[] = "--benchmark_enable_random_interleaving=true";
  if (!repetitionsGiven) args.push_back(repetitions);
  if (!interleavingGiven) args.push_back(interleaving);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  RoundsReporter reporter(program, resultsPath);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

double scale() { return scaleFactor; }

long scaled(long count) {
  return std::max(1L, static_cast<long>(count * scaleFactor));
}

void reportMetric(benchmark::State& state, double value, const char* unit) {
  state.counters["metric"] = value;
  state.SetLabel(unit);
}

ScopedCpuPin::ScopedCpuPin(int cpu) {
  if (sched_getaffinity(0, sizeof previous_, &previous_) != 0)
    throw std::system_error(errno, std::generic_category(), "getaffinity");
  cpu_set_t only;
  CPU_ZERO(&only);
  CPU_SET(cpu, &only);
  if (sched_setaffinity(0, sizeof only, &only) != 0)
    throw std::system_error(errno, std::generic_category(), "setaffinity");
}

ScopedCpuPin::~ScopedCpuPin() {
  sched_setaffinity(0, sizeof previous_, &previous_);
}

std::size_t residentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t totalPages = 0;
  std::size_t residentPages = 0;
  statm >> totalPages >> residentPages;
  return residentPages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

std::u16string sample32() {
  return u"activity report 0123456789abcdef";  // 32 characters
}

}  // namespace tarvex::bench
