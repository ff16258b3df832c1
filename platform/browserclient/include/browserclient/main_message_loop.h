// Stand-in of the browser-client library's main message loop.
//
// Stand-in behaviour: run() runs the GTK main loop until it is quit — by
// SIGTERM or SIGINT (sent to the process or its process group), by quit(),
// or by closing the last open window — and then returns 0. Signal handling
// is installed when the object is built, so a signal that arrives before
// run() still ends the loop as soon as it runs. Only one loop object should
// exist at a time.
//
// Ownership: owned by its creator, deleted through the virtual destructor,
// which removes the signal handling.
// Thread-safety: GTK's main thread only; the signals are turned into
// main-loop events, so no code runs in signal context.
#pragma once

#include <functional>

#include "browserclient/export.h"

namespace client {

class BROWSERCLIENT_EXPORT MainMessageLoopStd {
 public:
  MainMessageLoopStd();
  virtual ~MainMessageLoopStd();
  MainMessageLoopStd(const MainMessageLoopStd&) = delete;
  MainMessageLoopStd& operator=(const MainMessageLoopStd&) = delete;

  // Runs until quit; returns the exit code. Throws std::logic_error when
  // GTK has no display open.
  virtual int run();
  // Ends run() (now, or as soon as it starts).
  virtual void quit();

  // Stand-in only: run() calls `run` instead of the GTK main loop and
  // returns its result (empty: the GTK main loop again).
  static void setRunOverrideForTesting(std::function<int()> run);

 private:
  static int onSignal(void* self);

  unsigned int termSource_ = 0;
  unsigned int interruptSource_ = 0;
  bool quitRequested_ = false;
};

}  // namespace client
