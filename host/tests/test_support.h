// Helpers shared by the window host's unit tests: a recorder of log
// records, scoped masks and environment variables, argument lists, a
// temporary folder, and SystemCalls that record instead of acting.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "diaglog/diaglog.h"
#include "tarvexwindow/system_calls.h"

namespace tarvexwindow::testing {

// Collects every record written while it lives.
class LogRecorder {
 public:
  LogRecorder();
  ~LogRecorder();
  LogRecorder(const LogRecorder&) = delete;
  LogRecorder& operator=(const LogRecorder&) = delete;

  std::vector<ostra::log::local::CapturedRecord> records() const;
  // "<severity> <text>" of each record of `channel`, oldest first.
  std::vector<std::string> lines(const std::string& channel) const;

 private:
  mutable std::mutex mutex_;
  std::vector<ostra::log::local::CapturedRecord> records_;  // guarded by mutex_
  int id_ = 0;
};

// Sets a channel's mask while it lives; every severity afterwards.
class ScopedMask {
 public:
  ScopedMask(std::string channel, ostra::log::Severity mask);
  ~ScopedMask();

 private:
  std::string channel_;
};

// Sets (or, with nothing, unsets) a variable while it lives; then restores
// what was there.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, std::optional<std::string> value);
  ~ScopedEnvironment();

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

std::optional<std::string> environmentValue(const std::string& name);

// A writable argc/argv, argv[0] being "TARVEXWindow".
class Arguments {
 public:
  explicit Arguments(std::vector<std::string> switches);
  int argc() const { return static_cast<int>(pointers_.size()) - 1; }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

// A fresh folder, removed with its contents at the end.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// SystemCalls that touch nothing: process id `pid`, the group call
// returning `groupResult`, effective user `uid`; the group call and the
// toolkit start are recorded in the stand-in journal as "setpgid <pid>
// <group>" and "gtk_init <argc>".
SystemCalls fakeSystemCalls(pid_t pid = 4242, int groupResult = 0,
                            uid_t uid = 1000);

// Journal entries that start with one of `prefixes`, in order.
std::vector<std::string> journalEntriesStartingWith(
    const std::vector<std::string>& prefixes);

std::string readFile(const std::string& path);

}  // namespace tarvexwindow::testing
