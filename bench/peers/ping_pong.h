// Floors of the blocking round trip: a requesting thread hands one value to
// a responder thread and waits until the responder has handled it, either
// through a mutex and condition variables or through a bare futex word.
//
// Thread-safety: request() from one thread at a time; the responder is the
// object's own thread, started by the constructor and joined by the
// destructor.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarvex::bench {

class MutexCondvarPingPong {
 public:
  MutexCondvarPingPong();
  ~MutexCondvarPingPong();
  void request(int value);
  long long sum() const { return sum_; }

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable requested_;
  std::condition_variable answered_;
  bool pending_ = false;   // guarded by mutex_
  bool stopping_ = false;  // guarded by mutex_
  int value_ = 0;          // guarded by mutex_
  long long sum_ = 0;      // written by the responder while pending_
  std::thread responder_;
};

class FutexPingPong {
 public:
  FutexPingPong();
  ~FutexPingPong();
  void request(int value);
  long long sum() const { return sum_; }

 private:
  enum : int { kIdle = 0, kRequested = 1, kStop = 2 };
  void run();

  std::atomic<int> word_{kIdle};  // the futex word
  int value_ = 0;                 // handed over through word_
  long long sum_ = 0;             // written by the responder
  std::thread responder_;
};

}  // namespace tarvex::bench
