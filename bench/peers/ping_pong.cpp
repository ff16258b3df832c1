#include "ping_pong.h"

#include <climits>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tarvex::bench {
namespace {

void futexWait(std::atomic<int>& word, int expected) {
  syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAIT_PRIVATE,
          expected, nullptr, nullptr, 0);
}

void futexWake(std::atomic<int>& word) {
  syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAKE_PRIVATE, INT_MAX,
          nullptr, nullptr, 0);
}

}  // namespace

MutexCondvarPingPong::MutexCondvarPingPong() : responder_([this] { run(); }) {}

MutexCondvarPingPong::~MutexCondvarPingPong() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  requested_.notify_one();
  responder_.join();
}

void MutexCondvarPingPong::request(int value) {
  std::unique_lock<std::mutex> lock(mutex_);
  value_ = value;
  pending_ = true;
  requested_.notify_one();
  answered_.wait(lock, [this] { return !pending_; });
}

void MutexCondvarPingPong::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    requested_.wait(lock, [this] { return pending_ || stopping_; });
    if (!pending_) return;
    sum_ += value_;
    pending_ = false;
    answered_.notify_one();
  }
}

FutexPingPong::FutexPingPong() : responder_([this] { run(); }) {}

FutexPingPong::~FutexPingPong() {
  word_.store(kStop);
  futexWake(word_);
  responder_.join();
}

void FutexPingPong::request(int value) {
  value_ = value;
  word_.store(kRequested);
  futexWake(word_);
  while (word_.load() == kRequested) futexWait(word_, kRequested);
}

void FutexPingPong::run() {
  for (;;) {
    int state = word_.load();
    while (state == kIdle) {
      futexWait(word_, kIdle);
      state = word_.load();
    }
    if (state == kStop) return;
    sum_ += value_;
    word_.store(kIdle);
    futexWake(word_);
  }
}

}  // namespace tarvex::bench
