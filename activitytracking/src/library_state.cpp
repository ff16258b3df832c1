// The library's objects of static storage, in the order they are built at
// load: the diagnostic logger first, then the four registries. They are
// destroyed in reverse order at exit or unload, after the dispatcher and
// timer threads (created later, on first use) have been stopped.
#include <exception>
#include <vector>

#include "activitytracking/trackers.h"
#include "library_log.h"

namespace activitytracking {
namespace detail {
namespace {
ostra::log::diagnostic_logger libraryLogger("activitytracking");
}  // namespace

ostra::log::diagnostic_logger& channelLogger() { return libraryLogger; }

void logFailure(const std::exception_ptr& error) noexcept {
  // The single place where the library swallows exceptions: a request that
  // failed on the dispatcher or timer thread must not end the process.
  try {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& failure) {
      libraryLogger.write(kErrorSeverity,
                          "Activity request failed: ", failure.what());
    } catch (...) {
      libraryLogger.write(kErrorSeverity,
                          "Activity request failed: ", "unknown exception");
    }
  } catch (...) {
    // Logging itself failed (memory exhaustion): nothing left to report to.
  }
}

}  // namespace detail

std::vector<ActivityTracker*> UIActivityTracker::trackers;
std::vector<ActivityTracker*> ExecutionActivityTracker::trackers;
std::vector<ActivityTracker*> SimulationActivityTracker::trackers;
std::vector<ActivityTracker*> ModelCompilationActivityTracker::trackers;

}  // namespace activitytracking
