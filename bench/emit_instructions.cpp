// Driver for counting instructions per same-thread emit under
// `valgrind --tool=callgrind`: builds one subject (`void(int)`, one listener
// on the emitting thread) and emits it the given number of times. Running it
// with two counts and dividing the difference of the totals by the
// difference of the counts leaves the cost of one emit.
//   bench_emit_instructions <subject> <count>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "peers/emit_subjects.h"

namespace tarvex::bench {
namespace {

template <class Subject>
long long emitMany(long count) {
  Subject subject(1);
  for (long i = 0; i < count; ++i) subject.emit(static_cast<int>(i));
  return subject.total();
}

}  // namespace
}  // namespace tarvex::bench

int main(int argc, char** argv) {
  using namespace tarvex::bench;
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <subject> <count>\n", argv[0]);
    return 2;
  }
  QCoreApplication application(argc, argv);
  const std::string subject = argv[1];
  const long count = std::atol(argv[2]);
  long long total = 0;
  if (subject == "ours") {
    total = emitMany<OursSubject<int>>(count);
  } else if (subject == "qt5") {
    total = emitMany<QtSubject<int>>(count);
  } else if (subject == "signals2") {
    total = emitMany<Signals2Subject<int>>(count);
  } else if (subject == "sigc") {
    total = emitMany<SigcSubject<int>>(count);
  } else if (subject == "std_function") {
    total = emitMany<StdFunctionSubject<int>>(count);
  } else {
    std::fprintf(stderr, "unknown subject %s\n", subject.c_str());
    return 2;
  }
  std::printf("%lld\n", total);
  return 0;
}
