// Qt5 peers of the benchmarks: a sender with one signal per benchmarked
// signature and a receiver whose slots do the same small work as every
// other subject's (add the argument to a sum), counting the calls so that a
// consumer can tell the benchmark when the last message of a round arrived.
//
// Thread-safety: a receiver's slots run on the receiver's thread; `sum` and
// `count` are read by the benchmark thread only after the round completed
// (the Completion hand-over orders the accesses) or after the receiver's
// thread has finished.
#pragma once

#include <QCoreApplication>
#include <QMetaType>
#include <QObject>
#include <QThread>

#include <string>

#include "harness/harness.h"

Q_DECLARE_METATYPE(std::u16string)

namespace tarvex::bench {

class QtSender : public QObject {
  Q_OBJECT
 Q_SIGNALS:
  void intSignal(int value);
  void stringSignal(std::u16string value);
};

class QtReceiver : public QObject {
  Q_OBJECT
 public:
  // Opens `completion` (when given) at the `target`th call of a slot.
  explicit QtReceiver(Completion* completion = nullptr, long target = 0)
      : completion_(completion), target_(target) {}

  long long sum = 0;
  long count = 0;

 public Q_SLOTS:
  void onInt(int value) {
    sum += value;
    arrived();
  }
  void onString(std::u16string value) {
    sum += static_cast<long long>(value.size());
    arrived();
  }

 private:
  void arrived() {
    if (++count == target_ && completion_) completion_->open();
  }

  Completion* completion_;
  long target_;
};

// Which event dispatcher a QThread's loop runs on. Qt picks it when the
// thread starts, from the environment variable QT_NO_GLIB.
enum class QtDispatcher { Default, NoGlib };

// Starts `thread` with the chosen event dispatcher and returns once the
// thread has made it (the variable is read only then).
void startQtThread(QThread& thread, QtDispatcher dispatcher);

// Makes the queued-connection argument types known to Qt's meta-type
// system; call once before any queued or blocking connection.
void registerQtTypes();

}  // namespace tarvex::bench
