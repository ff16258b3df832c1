#include "test_support.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "journal/journal.h"

namespace tarvexwindow::testing {

using ostra::log::local::admin;
using ostra::log::local::CapturedRecord;

LogRecorder::LogRecorder() {
  id_ = admin::get()->addObserver([this](const CapturedRecord& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(record);
  });
}

LogRecorder::~LogRecorder() { admin::get()->removeObserver(id_); }

std::vector<CapturedRecord> LogRecorder::records() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_;
}

std::vector<std::string> LogRecorder::lines(const std::string& channel) const {
  std::vector<std::string> lines;
  for (const auto& record : records()) {
    if (record.channel == channel) {
      lines.push_back(std::to_string(record.severity) + " " + record.text);
    }
  }
  return lines;
}

ScopedMask::ScopedMask(std::string channel, ostra::log::Severity mask)
    : channel_(std::move(channel)) {
  admin::get()->setEnabledSeverities(channel_, mask);
}

ScopedMask::~ScopedMask() {
  admin::get()->setEnabledSeverities(channel_, ostra::log::kAllSeverities);
}

std::optional<std::string> environmentValue(const std::string& name) {
  const char* value = ::getenv(name.c_str());
  return value ? std::optional<std::string>(value) : std::nullopt;
}

ScopedEnvironment::ScopedEnvironment(std::string name,
                                     std::optional<std::string> value)
    : name_(std::move(name)), previous_(environmentValue(name_)) {
  if (value) {
    ::setenv(name_.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

ScopedEnvironment::~ScopedEnvironment() {
  if (previous_) {
    ::setenv(name_.c_str(), previous_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

Arguments::Arguments(std::vector<std::string> switches) {
  strings_.push_back("TARVEXWindow");
  for (auto& value : switches) strings_.push_back(std::move(value));
  for (auto& value : strings_) pointers_.push_back(value.data());
  pointers_.push_back(nullptr);
}

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "tarvexwindow-test-XXXXXX")
          .string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

SystemCalls fakeSystemCalls(pid_t pid, int groupResult, uid_t uid) {
  SystemCalls system;
  system.processId = [pid] { return pid; };
  system.setProcessGroup = [groupResult](pid_t process, pid_t group) {
    standin::journal::record("setpgid " + std::to_string(process) + " " +
                             std::to_string(group));
    return groupResult;
  };
  system.effectiveUserId = [uid] { return uid; };
  system.initToolkit = [](int* argc, char***) {
    standin::journal::record("gtk_init " + std::to_string(*argc));
  };
  return system;
}

std::vector<std::string> journalEntriesStartingWith(
    const std::vector<std::string>& prefixes) {
  std::vector<std::string> matching;
  for (const auto& entry : standin::journal::entries()) {
    for (const auto& prefix : prefixes) {
      if (entry.rfind(prefix, 0) == 0) {
        matching.push_back(entry);
        break;
      }
    }
  }
  return matching;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace tarvexwindow::testing
