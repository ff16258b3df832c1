// Case a: same-thread emit. One thread emits `void(int)` to 1 and to 4
// listeners and `void(std::u16string)` (32 characters) to one listener, all
// of them on the emitting thread; the figure is nanoseconds per emit.
#include <QCoreApplication>

#include <string>

#include "harness/harness.h"
#include "peers/emit_subjects.h"

namespace tarvex::bench {
namespace {

template <class Subject, class Arg>
void emitLoop(benchmark::State& state, int listeners, Arg value) {
  Subject subject(listeners);
  for (auto _ : state) {
    subject.emit(value);
    if constexpr (std::is_same_v<Arg, int>) ++value;
  }
  benchmark::DoNotOptimize(subject.total());
}

template <template <class> class Subject>
void registerSubject(const char* subject) {
  const std::string name = subject;
  benchmark::RegisterBenchmark(("a.int_1/" + name).c_str(),
                               emitLoop<Subject<int>, int>, 1, 0)
      ->MinTime(0.2);
  benchmark::RegisterBenchmark(("a.int_4/" + name).c_str(),
                               emitLoop<Subject<int>, int>, 4, 0)
      ->MinTime(0.2);
  benchmark::RegisterBenchmark(
      ("a.u16string_1/" + name).c_str(),
      emitLoop<Subject<std::u16string>, std::u16string>, 1, sample32())
      ->MinTime(0.2);
}

}  // namespace
}  // namespace tarvex::bench

int main(int argc, char** argv) {
  using namespace tarvex::bench;
  QCoreApplication application(argc, argv);
  registerSubject<OursSubject>("ours");
  registerSubject<QtSubject>("qt5");
  registerSubject<Signals2Subject>("signals2");
  registerSubject<SigcSubject>("sigc");
  registerSubject<StdFunctionSubject>("std_function");
  return runBenchmarks(argc, argv, "bench_same_thread_emit");
}
