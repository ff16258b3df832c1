// Case e: memory per queued packet. With 1,000,000 `int` messages queued for
// a thread that is not processing, the figure is the growth of the resident
// set divided by the number of messages, in bytes per packet. Every
// measurement runs in a fresh child process (this program started again
// with --tarvex_child=<subject> <count>) so that no subject reuses memory
// another one freed.
#include <QCoreApplication>

#include <vesk/vesk.h>

#include <oneapi/tbb/concurrent_queue.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "harness/harness.h"
#include "peers/qt_peers.h"

extern char** environ;

namespace tarvex::bench {
namespace {

constexpr long kPackets = 1'000'000;

// Ours: packets queued for a message thread that never processes (its
// operating-system thread has ended; its record and queue live on).
double oursBytesPerPacket(long packets) {
  struct Sink : VESK::Listener {};
  VESK::Thread idle;
  std::thread([&idle] { idle = VESK::Thread::getCurrentThread(); }).join();
  VESK::Emitter<void(int)> emitter;
  Sink listener;
  long long sum = 0;
  VESK::connect(
      emitter, listener, [&sum](int value) { sum += value; }, idle);
  emitter.send(-1, VESK::Queued);
  const std::size_t before = residentBytes();
  for (long i = 0; i < packets; ++i)
    emitter.send(static_cast<int>(i), VESK::Queued);
  const std::size_t after = residentBytes();
  if (idle.getQueueSize() != packets + 1)
    throw std::runtime_error("packets were not all queued");
  return static_cast<double>(after - before) / packets;
}

// Qt5: queued events for an object whose thread exists but was never
// started, so nothing takes them off the queue.
double qtBytesPerPacket(long packets) {
  QThread thread;  // not started: its loop never runs
  QtSender sender;
  QtReceiver receiver;
  receiver.moveToThread(&thread);
  QObject::connect(&sender, &QtSender::intSignal, &receiver, &QtReceiver::onInt,
                   Qt::QueuedConnection);
  sender.intSignal(-1);  // the thread's event list exists from here on
  const std::size_t before = residentBytes();
  for (long i = 0; i < packets; ++i) sender.intSignal(static_cast<int>(i));
  const std::size_t after = residentBytes();
  return static_cast<double>(after - before) / packets;
}

// Floor: the same oneTBB queue of shared pointers that holds packets, with
// nothing taking them off.
double tbbBytesPerPacket(long packets) {
  oneapi::tbb::concurrent_bounded_queue<std::shared_ptr<int>> queue;
  queue.push(std::make_shared<int>(-1));
  const std::size_t before = residentBytes();
  for (long i = 0; i < packets; ++i)
    queue.push(std::make_shared<int>(static_cast<int>(i)));
  const std::size_t after = residentBytes();
  return static_cast<double>(after - before) / packets;
}

int runChild(const std::string& subject, long packets, int argc, char** argv) {
  double bytes = 0;
  if (subject == "ours") {
    bytes = oursBytesPerPacket(packets);
  } else if (subject == "qt5") {
    QCoreApplication application(argc, argv);
    bytes = qtBytesPerPacket(packets);
  } else if (subject == "tbb_queue") {
    bytes = tbbBytesPerPacket(packets);
  } else {
    std::fprintf(stderr, "unknown subject %s\n", subject.c_str());
    return 2;
  }
  std::printf("%.3f\n", bytes);
  std::fflush(stdout);
  // The queued messages are left to the end of the process.
  std::_Exit(0);
}

// Runs this program as a child measuring `subject` and returns its figure.
double measureInChild(const std::string& subject, long packets) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  std::string childFlag = "--tarvex_child=" + subject;
  std::string count = std::to_string(packets);
  char self[] = "/proc/self/exe";
  char* childArgs[] = {self, childFlag.data(), count.data(), nullptr};
  pid_t pid = 0;
  const int error =
      posix_spawn(&pid, self, &actions, nullptr, childArgs, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (error != 0) {
    close(pipeEnds[0]);
    throw std::system_error(error, std::generic_category(), "posix_spawn");
  }
  std::string output;
  char buffer[256];
  ssize_t n;
  while ((n = read(pipeEnds[0], buffer, sizeof buffer)) > 0)
    output.append(buffer, static_cast<std::size_t>(n));
  close(pipeEnds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || output.empty())
    throw std::runtime_error("child for " + subject + " failed");
  return std::stod(output);
}

void measure(benchmark::State& state, const std::string& subject) {
  const long packets = scaled(kPackets);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const double bytes = measureInChild(subject, packets);
    state.SetIterationTime(
        nanosBetween(start, std::chrono::steady_clock::now()) / 1e9);
    reportMetric(state, bytes, "bytes/packet");
  }
}

void registerSubject(const std::string& subject) {
  benchmark::RegisterBenchmark(("e.int_packets/" + subject).c_str(), measure,
                               subject)
      ->Iterations(1)
      ->UseManualTime();
}

}  // namespace
}  // namespace tarvex::bench

int main(int argc, char** argv) {
  using namespace tarvex::bench;
  const char* childFlag = "--tarvex_child=";
  if (argc == 3 && std::strncmp(argv[1], childFlag, 15) == 0)
    return runChild(argv[1] + 15, std::atol(argv[2]), argc, argv);
  registerSubject("ours");
  registerSubject("qt5");
  registerSubject("tbb_queue");
  return runBenchmarks(argc, argv, "bench_queued_memory");
}
