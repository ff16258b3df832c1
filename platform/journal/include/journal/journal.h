// Stand-in only: the journal every stand-in of this folder keeps, so that
// tests can check which outside calls a program made and in which order.
//
// Each stand-in records one entry per call it receives (its name, then the
// arguments that matter, separated by single spaces). Entries are kept in
// memory for the whole process and also written to the diagnostic log on
// channel "platform::journal" at severity 16, so a person reading the log
// sees the same order.
//
// Thread-safety: every function may be called from any thread. The
// observer runs on the recording thread, outside the journal's lock, after
// the entry has been stored; it must not record entries itself.
#pragma once

#include <functional>
#include <string>
#include <vector>

#define STANDIN_JOURNAL_EXPORT __attribute__((visibility("default")))

namespace standin::journal {

// Severity of the journal's own log records.
inline constexpr unsigned int kLogSeverity = 16;

// Stores `entry` and writes it to the diagnostic log.
STANDIN_JOURNAL_EXPORT void record(const std::string& entry);

// Stores `entry` without writing it to the log (for stand-ins that log the
// call on a channel of their own).
STANDIN_JOURNAL_EXPORT void recordQuietly(const std::string& entry);

// Every entry stored since the start or the last clear(), oldest first.
STANDIN_JOURNAL_EXPORT std::vector<std::string> entries();

STANDIN_JOURNAL_EXPORT void clear();

// Calls `observer` with each entry stored from now on (replacing any
// previous observer); an empty function removes it. Lets a test look at the
// process's state at the moment a given call is made.
STANDIN_JOURNAL_EXPORT void setObserver(
    std::function<void(const std::string&)> observer);

}  // namespace standin::journal
