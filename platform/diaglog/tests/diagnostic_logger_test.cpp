#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "diaglog/diaglog.h"

namespace {

using ostra::log::diagnostic_logger;
using ostra::log::local::admin;
using ostra::log::local::CapturedRecord;

diagnostic_logger testChannel("diaglog::test");

// Collects what the administration writes while it lives.
class Recorder {
 public:
  Recorder() {
    id_ = admin::get()->addObserver([this](const CapturedRecord& record) {
      std::lock_guard<std::mutex> lock(mutex_);
      records_.push_back(record);
    });
  }
  ~Recorder() { admin::get()->removeObserver(id_); }

  std::vector<CapturedRecord> records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<CapturedRecord> records_;
  int id_ = 0;
};

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(DiagnosticLogger, WritesChannelSeverityDepthAndText) {
  Recorder recorder;
  testChannel.write(8, "group ID is ", 4242);
  testChannel.nestingDepth.increment();
  testChannel.write(32, "inner");
  testChannel.nestingDepth.decrement();

  const auto records = recorder.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].channel, "diaglog::test");
  EXPECT_EQ(records[0].severity, 8u);
  EXPECT_EQ(records[0].text, "group ID is 4242");
  EXPECT_EQ(records[0].nestingDepth, 0);
  EXPECT_EQ(records[1].nestingDepth, 1);
}

TEST(DiagnosticLogger, MaskSuppressesClearedBits) {
  Recorder recorder;
  admin::get()->setEnabledSeverities("diaglog::test", 8);
  EXPECT_TRUE(testChannel.isEnabled(8));
  EXPECT_FALSE(testChannel.isEnabled(4));
  testChannel.write(4, "suppressed");
  testChannel.write(8, "kept");
  admin::get()->setEnabledSeverities("diaglog::test",
                                     ostra::log::kAllSeverities);

  const auto records = recorder.records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].text, "kept");
}

TEST(DiagnosticLogger, MaskSetBeforeConstructionApplies) {
  admin::get()->setEnabledSeverities("diaglog::later", 64);
  diagnostic_logger later("diaglog::later");
  EXPECT_EQ(later.enabledSeverities.load(), 64u);
}

TEST(DiagnosticLogger, NestingDepthIsPerThread) {
  testChannel.nestingDepth.increment();
  int otherThreadDepth = -1;
  std::thread([&] {
    otherThreadDepth = testChannel.nestingDepth.value();
  }).join();
  EXPECT_EQ(otherThreadDepth, 0);
  EXPECT_EQ(testChannel.nestingDepth.value(), 1);
  testChannel.nestingDepth.decrement();
}

TEST(DiagnosticLogger, ConcurrentWritersKeepTheirOwnSeverity) {
  Recorder recorder;
  constexpr int kPerThread = 500;
  auto writer = [](ostra::log::Severity severity) {
    for (int i = 0; i < kPerThread; ++i) {
      testChannel.write(severity, "severity ", severity);
    }
  };
  std::thread a(writer, 4u), b(writer, 64u);
  a.join();
  b.join();

  const auto records = recorder.records();
  ASSERT_EQ(records.size(), 2u * kPerThread);
  for (const auto& record : records) {
    EXPECT_EQ(record.text, "severity " + std::to_string(record.severity));
  }
}

TEST(LogAdmin, BufferedRecordsReachTheFirstDestination) {
  const std::string path = ::testing::TempDir() + "diaglog_destination.log";
  std::remove(path.c_str());
  testChannel.write(8, "before destination");
  admin::get()->setDestination(path);
  testChannel.nestingDepth.increment();
  testChannel.write(128, "after destination");
  testChannel.nestingDepth.decrement();

  const auto lines = readLines(path);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines[lines.size() - 2].find("diaglog::test 8 before destination"),
            std::string::npos);
  EXPECT_NE(lines.back().find("diaglog::test 128   after destination"),
            std::string::npos);
  EXPECT_EQ(admin::get()->destination(), path);
}

TEST(LogAdmin, RejectsUnusableDestinations) {
  EXPECT_THROW(admin::get()->setDestination(""), std::invalid_argument);
  EXPECT_THROW(admin::get()->setDestination("/nonexistent-dir/x/y.log"),
               std::runtime_error);
}

}  // namespace
