// The subjects of the same-thread emit case: one signal with a number of
// listeners on the emitting thread, emitted by `emit(value)`. Every slot
// does the same small work: add the argument (a string's length) to `sum`.
// Shared by the timing program and the instruction-count driver.
//
// Thread-safety: a subject is built, emitted and destroyed on one thread.
#pragma once

#include <sigc++/sigc++.h>
#include <vesk/vesk.h>

#include <boost/signals2/signal.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "peers/qt_peers.h"
#include "peers/weight.h"

namespace tarvex::bench {

// Ours: a VESK::Emitter sending in Auto mode to listeners whose receiving
// thread is the emitting thread, so every slot runs during the send.
template <class Arg>
class OursSubject {
 public:
  explicit OursSubject(int listeners) {
    for (int i = 0; i < listeners; ++i) {
      listeners_.push_back(std::make_unique<Sink>());
      VESK::connect(emitter_, *listeners_.back(),
                    [this](Arg value) { sum += weight(value); });
    }
  }
  ~OursSubject() {
    for (auto& listener : listeners_) listener->disconnect();
  }
  void emit(const Arg& value) { emitter_.send(value, VESK::Auto); }
  long long total() const { return sum; }
  long long sum = 0;

 private:
  struct Sink : VESK::Listener {};

  VESK::Emitter<void(Arg)> emitter_;
  std::vector<std::unique_ptr<Sink>> listeners_;
};

// Floor: a plain std::function per listener, called in turn.
template <class Arg>
class StdFunctionSubject {
 public:
  explicit StdFunctionSubject(int listeners) {
    for (int i = 0; i < listeners; ++i)
      slots_.emplace_back([this](Arg value) { sum += weight(value); });
  }
  void emit(const Arg& value) {
    for (auto& slot : slots_) slot(value);
  }
  long long total() const { return sum; }
  long long sum = 0;

 private:
  std::vector<std::function<void(Arg)>> slots_;
};

template <class Arg>
class SigcSubject {
 public:
  explicit SigcSubject(int listeners) {
    for (int i = 0; i < listeners; ++i)
      signal_.connect([this](Arg value) { sum += weight(value); });
  }
  void emit(const Arg& value) { signal_.emit(value); }
  long long total() const { return sum; }
  long long sum = 0;

 private:
  sigc::signal<void(Arg)> signal_;
};

template <class Arg>
class Signals2Subject {
 public:
  explicit Signals2Subject(int listeners) {
    for (int i = 0; i < listeners; ++i)
      signal_.connect([this](Arg value) { sum += weight(value); });
  }
  void emit(const Arg& value) { signal_(value); }
  long long total() const { return sum; }
  long long sum = 0;

 private:
  boost::signals2::signal<void(Arg)> signal_;
};

// Qt5 AutoConnection between objects of the emitting thread, connected
// with member-function pointers.
template <class Arg>
class QtSubject {
 public:
  explicit QtSubject(int listeners) {
    for (int i = 0; i < listeners; ++i) {
      receivers_.push_back(std::make_unique<QtReceiver>());
      if constexpr (std::is_same_v<Arg, int>) {
        QObject::connect(&sender_, &QtSender::intSignal,
                         receivers_.back().get(), &QtReceiver::onInt);
      } else {
        QObject::connect(&sender_, &QtSender::stringSignal,
                         receivers_.back().get(), &QtReceiver::onString);
      }
    }
  }
  void emit(const Arg& value) {
    if constexpr (std::is_same_v<Arg, int>) {
      sender_.intSignal(value);
    } else {
      sender_.stringSignal(value);
    }
  }
  long long total() const {
    long long sum = 0;
    for (const auto& receiver : receivers_) sum += receiver->sum;
    return sum;
  }

 private:
  QtSender sender_;
  std::vector<std::unique_ptr<QtReceiver>> receivers_;
};

}  // namespace tarvex::bench
