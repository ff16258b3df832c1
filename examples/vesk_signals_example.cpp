// A progress signal from the main thread to a listener whose slot runs on
// a worker message thread: an Auto send that returns at once, a Blocking
// send that returns after the slot has run, and a cut.
#include <vesk/vesk.h>

#include <cstdio>
#include <string>

// A listener: any object derived from VESK::Listener.
class ProgressView : public VESK::Listener {
 public:
  void show(int percent) {
    std::printf("  [%s] progress %d%%\n",
                VESK::Thread::getCurrentThread().getName().c_str(), percent);
  }
};

int main() {
  VESK::Thread::registerThread("main", {});
  VESK::EventLoopThread worker("worker");  // a ready message thread

  VESK::Emitter<void(int)> progress;
  ProgressView view;
  // The slot runs on the worker thread; a lambda works as well.
  VESK::connect(progress, view, &ProgressView::show, worker.thread());

  std::printf("Auto: posted to the worker, send returns at once\n");
  progress.send(25);  // same as progress.send(25, VESK::Auto)
  std::printf("Blocking: returns once the worker has run the slot\n");
  progress.send(50, VESK::Blocking);  // 25 has been shown before 50
  progress(75, VESK::Blocking);

  std::printf("Cut: the view no longer hears the emitter\n");
  view.disconnect();  // from the listener's side: queued packets drop
  progress.send(100, VESK::Blocking);  // no connection: returns at once
  std::printf("connections left: %d\n", progress.numberOfConnections());

  std::printf("statistics: %u posted in Auto, %u posted in Blocking\n",
              VESK::EmitterBase::getUsageStatsPosted(VESK::Auto),
              VESK::EmitterBase::getUsageStatsPosted(VESK::Blocking));
  return 0;  // the worker stops (processing what is queued) and joins
}
