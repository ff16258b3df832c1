#include "tarvexwindow/diagnostics.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <stdexcept>

#include "tarvexwindow/trace_scope.h"
#include "test_support.h"

namespace tarvexwindow {
namespace {

using ostra::log::diagnostic_logger;
using ostra::log::local::admin;
using testing::Arguments;
using testing::LogRecorder;
using testing::ScopedEnvironment;
using testing::ScopedMask;
using testing::TemporaryDirectory;

const std::string kTraceChannel = "tarvexwindow::tracetest";
diagnostic_logger traceChannel(kTraceChannel);

// A traced function returning `value`, or throwing when asked to.
std::string tracedFunction(const std::string& value, bool fail) {
  std::string returned = "nil";
  ReturnTraceScope trace(traceChannel, "std::string tracedFunction()",
                         "(value)", returned);
  if (fail) throw std::runtime_error("failed");
  returned = value;
  return value;
}

void plainTracedFunction() {
  FunctionTraceScope trace(traceChannel, "void plainTracedFunction()");
}

struct RecordLine {
  unsigned severity;
  int depth;
  std::string text;
  friend bool operator==(const RecordLine&, const RecordLine&) = default;
  friend std::ostream& operator<<(std::ostream& os, const RecordLine& line) {
    return os << line.severity << "@" << line.depth << " " << line.text;
  }
};

std::vector<RecordLine> traceLines(const LogRecorder& recorder) {
  std::vector<RecordLine> lines;
  for (const auto& record : recorder.records()) {
    if (record.channel == kTraceChannel) {
      lines.push_back({record.severity, record.nestingDepth, record.text});
    }
  }
  return lines;
}

struct MaskCase {
  const char* name;
  ostra::log::Severity mask;
  bool written;  // entry, return value and exit, or nothing
};

void PrintTo(const MaskCase& c, std::ostream* os) { *os << c.name; }

const MaskCase kMaskCases[] = {
    {"AllBits", ostra::log::kAllSeverities, true},
    {"EntryBitOnly", 32, true},
    {"EntryAndExitBits", 32 | 64, true},
    {"EntryBitClear", ostra::log::kAllSeverities & ~32u, false},
    {"ExitAndReturnBitsOnly", 64 | 128, false},
};

class TraceMaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(TraceMaskTest, WritesAllThreeRecordsOrNone) {
  ScopedMask mask(kTraceChannel, GetParam().mask);
  LogRecorder recorder;
  const int depthBefore = traceChannel.nestingDepth.value();

  EXPECT_EQ(tracedFunction("value", false), "value");

  EXPECT_EQ(traceChannel.nestingDepth.value(), depthBefore);
  std::vector<RecordLine> expected;
  if (GetParam().written) {
    expected = {{32, 0, "std::string tracedFunction()"},
                {128, 1, "(value)=value"},
                {64, 0, "std::string tracedFunction()"}};
  }
  EXPECT_EQ(traceLines(recorder), expected);
}

INSTANTIATE_TEST_SUITE_P(All, TraceMaskTest, ::testing::ValuesIn(kMaskCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(TraceScope, LeftByExceptionMarksExitAndRestoresDepth) {
  LogRecorder recorder;
  EXPECT_THROW(tracedFunction("value", true), std::runtime_error);
  EXPECT_EQ(traceChannel.nestingDepth.value(), 0);
  const std::vector<RecordLine> expected = {
      {32, 0, "std::string tracedFunction()"},
      {128, 1, "(value)=nil"},
      {64, 0, "std::string tracedFunction() [throw]"}};
  EXPECT_EQ(traceLines(recorder), expected);
}

// A traced call made while another exception unwinds the stack returns
// normally: its exit record must not claim it threw.
struct CallsTracedFunctionWhenDestroyed {
  ~CallsTracedFunctionWhenDestroyed() { plainTracedFunction(); }
};

TEST(TraceScope, CallDuringUnwindingIsNotMarkedAsThrowing) {
  LogRecorder recorder;
  try {
    CallsTracedFunctionWhenDestroyed caller;
    throw std::runtime_error("unwinding");
  } catch (const std::runtime_error&) {
  }
  const std::vector<RecordLine> expected = {
      {32, 0, "void plainTracedFunction()"},
      {64, 0, "void plainTracedFunction()"}};
  EXPECT_EQ(traceLines(recorder), expected);
}

TEST(TraceScope, NestedCallsAreOneLevelDeeper) {
  LogRecorder recorder;
  {
    FunctionTraceScope outer(traceChannel, "void outer()");
    plainTracedFunction();
  }
  const std::vector<RecordLine> expected = {
      {32, 0, "void outer()"},
      {32, 1, "void plainTracedFunction()"},
      {64, 1, "void plainTracedFunction()"},
      {64, 0, "void outer()"}};
  EXPECT_EQ(traceLines(recorder), expected);
}

TEST(TraceScope, DisabledCoreWritesNothingButKeepsDepthBalanced) {
  LogRecorder recorder;
  traceChannel.core->set_logging_enabled(false);
  int depthInside = -1;
  {
    FunctionTraceScope trace(traceChannel, "void f()");
    depthInside = traceChannel.nestingDepth.value();
  }
  traceChannel.core->set_logging_enabled(true);
  EXPECT_EQ(depthInside, 1);
  EXPECT_EQ(traceChannel.nestingDepth.value(), 0);
  EXPECT_TRUE(traceLines(recorder).empty());
}

// The diagnostic destination: environment, switch and hand-over.
struct DestinationCase {
  const char* name;
  std::optional<std::string> environment;  // "ORV_DIAGNOSTIC_DEST" at start
  std::optional<std::string> switchValue;  // "--orvDiagnosticDest=" value
  // After start-up: nothing when the variable stays removed/unset.
  std::optional<std::string> environmentAfterTake;
  std::optional<std::string> environmentAfterApply;
  bool applied;  // the administration's destination becomes the value
};

void PrintTo(const DestinationCase& c, std::ostream* os) { *os << c.name; }

// "@" stands for a fresh log file in the test's temporary folder.
const DestinationCase kDestinationCases[] = {
    {"EnvironmentOnly", "@env", std::nullopt, std::nullopt, "@env", true},
    {"SwitchReplacesEnvironment", "@env", "@switch", std::nullopt, "@switch",
     true},
    {"SwitchOnly", std::nullopt, "@switch", std::nullopt, "@switch", true},
    {"EmptySwitchDropsEnvironment", "@env", "", std::nullopt, std::nullopt,
     false},
    {"EmptyVariableLeftInPlace", "", std::nullopt, "", "", false},
    {"Neither", std::nullopt, std::nullopt, std::nullopt, std::nullopt, false},
    {"RejectedDestinationStillWrittenBack", "/nonexistent-folder/x/log",
     std::nullopt, std::nullopt, "/nonexistent-folder/x/log", false},
};

class DestinationTest : public ::testing::TestWithParam<DestinationCase> {
 protected:
  std::optional<std::string> resolve(std::optional<std::string> text) const {
    if (text && !text->empty() && text->front() == '@') {
      return directory_.path() + "/" + text->substr(1) + ".log";
    }
    return text;
  }

  TemporaryDirectory directory_;
};

TEST_P(DestinationTest, FollowsTheRules) {
  const DestinationCase& c = GetParam();
  ScopedEnvironment variable(kDiagnosticDestVariable, resolve(c.environment));
  std::vector<std::string> switches;
  if (c.switchValue) {
    switches.push_back("--orvDiagnosticDest=" + *resolve(c.switchValue));
  }
  Arguments arguments(switches);
  const auto commandLine = CefCommandLine::createCommandLine();
  commandLine->initFromArgv(arguments.argc(), arguments.argv());
  const std::string destinationBefore = admin::get()->destination();

  std::u16string diagnosticDest = takeDiagnosticDestination();
  EXPECT_EQ(testing::environmentValue(kDiagnosticDestVariable),
            resolve(c.environmentAfterTake));
  EXPECT_NO_THROW(applyDiagnosticDestination(*commandLine, diagnosticDest));

  EXPECT_EQ(testing::environmentValue(kDiagnosticDestVariable),
            resolve(c.environmentAfterApply));
  const std::string expectedDestination =
      c.applied ? *resolve(c.environmentAfterApply) : destinationBefore;
  EXPECT_EQ(admin::get()->destination(), expectedDestination);
}

INSTANTIATE_TEST_SUITE_P(All, DestinationTest,
                         ::testing::ValuesIn(kDestinationCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

// Counts how often it is formatted.
struct Formatted {
  int* count;
  friend std::ostream& operator<<(std::ostream& os, const Formatted& f) {
    ++*f.count;
    return os << "formatted";
  }
};

TEST(Emission, TextIsNotFormattedWhenTheBitIsClear) {
  int formatted = 0;
  LogRecorder recorder;
  {
    ScopedMask mask(kTraceChannel, ostra::log::kAllSeverities & ~8u);
    traceChannel.write(8, Formatted{&formatted});
  }
  EXPECT_EQ(formatted, 0);
  traceChannel.write(8, Formatted{&formatted});
  EXPECT_EQ(formatted, 1);
  EXPECT_EQ(traceLines(recorder),
            (std::vector<RecordLine>{{8, 0, "formatted"}}));
}

}  // namespace
}  // namespace tarvexwindow
