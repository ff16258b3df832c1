// TimerService: the one thread that runs every idle and busy deadline timer
// of the process, on one Boost.Asio io_context. Its completion handlers only
// queue requests for the dispatcher.
//
// Lifetime: created on first use (the first timed tracker) and never freed;
// at exit or unload the io_context is stopped (pending waits are abandoned)
// and the thread joined, so timers of trackers that outlive that teardown
// can still be destroyed safely.
#pragma once

#include <boost/asio/io_context.hpp>

namespace activitytracking::detail {

class TimerService {
 public:
  // The io_context the timers use; starts the service on the first call
  // (safe when several threads race to it).
  static boost::asio::io_context& instance();
};

}  // namespace activitytracking::detail
