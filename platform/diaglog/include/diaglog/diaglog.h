// Stand-in of the maker's diagnostic log library: named channel loggers on
// top of Boost.Log, and the process's local log administration.
//
// basic_diagnostic_logger<char>: one process-wide object per channel name,
// usually defined at namespace scope so that it exists from static
// initialisation until exit. A record of severity S (a single bit) is written
// only when bit S is set in `enabledSeverities` and the Boost.Log core is
// enabled.
//
// Thread-safety: every member may be used from any thread. Opening a record
// holds `writeLock` for writing, so setting the calling thread's severity and
// opening the record are one step per logger; records are formatted and
// pushed outside the lock. `nestingDepth` is per thread.
//
// Where records go: to the file named by admin::setDestination, appended one
// per line as "<UTC time> <channel> <severity> <indent><text>", where the
// indent is two spaces per nesting level. Records written before any
// destination is set are kept in memory (the most recent 10,000) and written
// to the first destination when it is set; without a destination they are
// never shown. Observers added through admin::addObserver (a stand-in-only
// hook for tests) see every record as it is written.
#pragma once

#include <atomic>
#include <boost/log/core/core.hpp>
#include <boost/log/core/record.hpp>
#include <boost/log/sources/record_ostream.hpp>
#include <boost/log/sources/severity_feature.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/shared_mutex.hpp>
#include <boost/thread/tss.hpp>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#define DIAGLOG_EXPORT __attribute__((visibility("default")))

namespace ostra::log {

// A severity is a single bit; a logger's mask holds one bit per severity.
using Severity = unsigned int;
inline constexpr Severity kAllSeverities = ~0u;

// A per-thread integer counter (Boost.Thread thread-specific storage). Each
// thread starts at 0.
class DIAGLOG_EXPORT PerThreadCounter {
 public:
  int value() const;
  void increment();
  void decrement();

 private:
  boost::thread_specific_ptr<int> value_;
};

template <class CharT>
class basic_diagnostic_logger;

template <>
class DIAGLOG_EXPORT basic_diagnostic_logger<char> {
 public:
  explicit basic_diagnostic_logger(const std::string& channel);
  ~basic_diagnostic_logger();
  basic_diagnostic_logger(const basic_diagnostic_logger&) = delete;
  basic_diagnostic_logger& operator=(const basic_diagnostic_logger&) = delete;

  const std::string& channel() const { return channel_; }

  // True when a record of `severity` would be written now.
  bool isEnabled(Severity severity) const {
    return (enabledSeverities.load(std::memory_order_relaxed) & severity) !=
               0 &&
           core->get_logging_enabled();
  }

  // Opens a record at `severity` (an empty record when the core is
  // disabled); the caller streams the text into it and pushes it. Does not
  // test the mask.
  boost::log::record openRecord(Severity severity);

  // Writes one record made of `parts` streamed in order, when bit `severity`
  // is set in the mask and the core is enabled. The text is not formatted
  // when the bit is clear.
  template <class... Parts>
  void write(Severity severity, const Parts&... parts) {
    if ((enabledSeverities.load(std::memory_order_relaxed) & severity) == 0) {
      return;
    }
    writeRecord(severity, parts...);
  }

  // As write(), without testing the mask: for records whose caller has
  // already decided (a function-trace scope's exit, say). Nothing is written
  // when the core is disabled. An exception thrown while formatting leaves
  // with the record unwritten.
  template <class... Parts>
  void writeRecord(Severity severity, const Parts&... parts) {
    boost::log::record record = openRecord(severity);
    if (!record) return;
    {
      boost::log::record_ostream stream(record);
      (stream << ... << parts);
      stream.flush();
    }
    core->push_record(std::move(record));
  }

  // Guards opening records: setting the thread's severity and opening the
  // record happen under it, held for writing.
  boost::shared_mutex writeLock;
  // The Boost.Log core records go to.
  boost::shared_ptr<boost::log::core> core;
  // Attributes records are opened with: "Channel", "Severity" (the calling
  // thread's current severity), "NestingDepth" and "TimeStamp".
  boost::log::attribute_set attributes;
  // Depth of function-trace scopes on the calling thread.
  PerThreadCounter nestingDepth;
  // Enabled severities, one bit each. Set by the administration; users only
  // read it.
  std::atomic<Severity> enabledSeverities{kAllSeverities};

 private:
  std::string channel_;
  boost::log::sources::aux::severity_level<Severity> severity_;
};

using diagnostic_logger = basic_diagnostic_logger<char>;

namespace local {

// One record as an observer sees it.
struct CapturedRecord {
  std::string channel;
  Severity severity = 0;
  int nestingDepth = 0;
  std::string text;
};

// The process's log administration. Thread-safety: every member may be used
// from any thread; observers are called on the writing thread under the
// administration's lock, so they must not write records themselves.
class DIAGLOG_EXPORT admin {
 public:
  static boost::shared_ptr<admin> get();

  // Directs every channel's records to the file `destination` (appended;
  // created when missing). Throws std::invalid_argument for an empty text
  // and std::runtime_error when the file cannot be opened; the previous
  // destination then stays in force.
  void setDestination(const std::string& destination);

  // The current destination, empty when none is set.
  std::string destination() const;

  // Stand-in only: sets the mask of every logger of `channel`, now and for
  // loggers of that channel built later.
  void setEnabledSeverities(const std::string& channel, Severity mask);

  // Stand-in only: `observer` sees every record written from now on until
  // removeObserver(id) returns.
  int addObserver(std::function<void(const CapturedRecord&)> observer);
  void removeObserver(int id);

  admin();
  ~admin();
  admin(const admin&) = delete;
  admin& operator=(const admin&) = delete;

  // Used by the loggers themselves.
  void registerLogger(basic_diagnostic_logger<char>* logger);
  void unregisterLogger(basic_diagnostic_logger<char>* logger);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace local
}  // namespace ostra::log
