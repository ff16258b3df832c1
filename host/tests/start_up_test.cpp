// The host's start-up and shutdown order in both roles, run in the test
// process against the stand-ins, whose journal records every call.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "browserclient/browserclient.h"
#include "browserclient/main_message_loop.h"
#include "journal/journal.h"
#include "tarvexwindow/window_host.h"
#include "test_support.h"

namespace tarvexwindow {
namespace {

using testing::Arguments;
using testing::LogRecorder;
using testing::ScopedEnvironment;
using testing::ScopedMask;
using testing::TemporaryDirectory;

constexpr char kSession[] = "123e4567-e89b-12d3-a456-426614174000";

// Every stand-in reset, the message loop replaced by `loopResult_`, the
// endpoint registry in a fresh folder and the session id in the
// environment.
class StartUpTest : public ::testing::Test {
 protected:
  StartUpTest()
      : endpointDir_("TARVEX_ENDPOINT_DIR", directory_.path()),
        session_("TARVEX_SESSION_ID", kSession),
        destination_("ORV_DIAGNOSTIC_DEST", std::nullopt) {
    standin::journal::clear();
    client::MainMessageLoopStd::setRunOverrideForTesting([this] {
      endpointPublishedDuringLoop_ = std::filesystem::exists(endpointPath());
      return loopResult_;
    });
  }

  ~StartUpTest() override {
    client::MainMessageLoopStd::setRunOverrideForTesting(nullptr);
    browserclient_standin::setSettingsFillerForTesting(nullptr);
    cef_standin::setChildProcessResultForTesting(0);
    standin::journal::setObserver(nullptr);
  }

  int run(std::vector<std::string> switches, uid_t uid = 1000) {
    Arguments arguments(std::move(switches));
    return runWindowHost(arguments.argc(), arguments.argv(),
                         testing::fakeSystemCalls(4242, 0, uid));
  }

  std::string endpointPath() const {
    return directory_.path() + "/" + kSession + "/ZelWindowHostPosixGroupId";
  }

  // The journal with the values that vary between runs cut off after the
  // call's name: window ids and folders.
  static std::vector<std::string> journal() {
    std::vector<std::string> entries;
    for (std::string entry : standin::journal::entries()) {
      for (const char* varying :
           {"generateWindowID", "NativeWindow::makeNativeWindow",
            "NativeWindow::newWindow", "TarvexHandler::registerWindow",
            "GetResourceDir", "GetLocaleDir", "CefInitialize",
            "Endpoint released", "AppInitCommandLine"}) {
        if (entry.rfind(varying, 0) == 0) entry = varying;
      }
      entries.push_back(entry);
    }
    return entries;
  }

  static std::string journalEntry(const std::string& prefix) {
    for (const auto& entry : standin::journal::entries()) {
      if (entry.rfind(prefix, 0) == 0) return entry;
    }
    return "(no " + prefix + ")";
  }

  TemporaryDirectory directory_;
  ScopedEnvironment endpointDir_;
  ScopedEnvironment session_;
  ScopedEnvironment destination_;
  int loopResult_ = 0;
  bool endpointPublishedDuringLoop_ = false;
};

struct BrowserCase {
  const char* name;
  std::vector<std::string> switches;
  uid_t uid;
  int loopResult;
  int noSandbox;
  bool window;
};

void PrintTo(const BrowserCase& c, std::ostream* os) { *os << c.name; }

const BrowserCase kBrowserCases[] = {
    {"OrdinaryUser", {}, 1000, 0, 1, true},
    {"OrdinaryUserEnablesSandbox", {"--enable-sandbox"}, 1000, 7, 0, true},
    {"SuperUserCannotEnableSandbox", {"--enable-sandbox"}, 0, 0, 1, true},
    {"SuperUser", {}, 0, 3, 1, true},
    {"FromWebWindowOpensNoWindow", {"--from-webwindow"}, 1000, 0, 1, false},
};

class BrowserStartUpTest : public StartUpTest,
                           public ::testing::WithParamInterface<BrowserCase> {};

TEST_P(BrowserStartUpTest, RunsEveryStepInOrder) {
  const BrowserCase& c = GetParam();
  loopResult_ = c.loopResult;

  EXPECT_EQ(run(c.switches, c.uid), c.loopResult);

  const std::string noSandbox = std::to_string(c.noSandbox);
  std::vector<std::string> expected = {
      "lingo::i18n::initialize",
      "lingo::i18n::getenv ORV_DIAGNOSTIC_DEST",
      "AppInitCommandLine",
      "AppInitResources",
      "ClientApp",
      "AppGetCommandLine",
      "CefExecuteProcess browser",
      "setpgid 4242 4242",
      "GetResourceDir",
      "AppGetSettings no_sandbox=" + noSandbox,
      "GetLocaleDir",
      "MainMessageLoopStd",
      "AppInitialize",
      "CefInitialize",
      "InitCppmsFramework CEFWindowManager",
      std::string("SessionIdRegistrar registered ") + kSession,
      "gtk_init " + std::to_string(1 + c.switches.size()),
      "AppPostInitialize",
      std::string("Endpoint::publish 4242 ZelWindowHostPosixGroupId ") +
          kSession};
  if (c.window) {
    expected.insert(expected.end(), {"generateWindowID", "WindowEventHandler",
                                     "NativeWindow::makeNativeWindow",
                                     "TarvexHandler::registerWindow",
                                     "NativeWindow::newWindow"});
  }
  expected.insert(
      expected.end(),
      {"TarvexHandler::setRemoteDebuggingPort 0",
       "TarvexHandler::beforeMessageLoop", "MainMessageLoopStd::run",
       "CefShutdown", "MainMessageLoopStd deleted",
       "TarvexHandler::afterBrowserShutdown", "ShutdownCppmsFramework",
       "Endpoint released", "ClientApp released"});
  EXPECT_EQ(journal(), expected);
  EXPECT_NE(journalEntry("CefInitialize").find("no_sandbox=" + noSandbox),
            std::string::npos);
  EXPECT_TRUE(endpointPublishedDuringLoop_);
  EXPECT_FALSE(std::filesystem::exists(endpointPath()));
}

INSTANTIATE_TEST_SUITE_P(All, BrowserStartUpTest,
                         ::testing::ValuesIn(kBrowserCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

struct ChildCase {
  const char* name;
  std::string typeSwitch;
  int dispatchResult;
  bool stopsServiceFramework;
};

void PrintTo(const ChildCase& c, std::ostream* os) { *os << c.name; }

const ChildCase kChildCases[] = {
    {"Renderer", "--type=renderer", 0, true},
    {"RendererWithResult", "--type=renderer", 5, true},
    {"GpuProcess", "--type=gpu-process", 3, false},
    {"TypeWithoutValue", "--type", 0, false},
    {"RendererIsCaseSensitive", "--type=Renderer", 0, false},
};

class ChildStartUpTest : public StartUpTest,
                         public ::testing::WithParamInterface<ChildCase> {};

TEST_P(ChildStartUpTest, HandsOverAndExitsWithTheFrameworksResult) {
  const ChildCase& c = GetParam();
  cef_standin::setChildProcessResultForTesting(c.dispatchResult);
  ScopedEnvironment inherited("ORV_DIAGNOSTIC_DEST",
                              directory_.path() + "/child.log");
  LogRecorder recorder;

  EXPECT_EQ(run({c.typeSwitch}), c.dispatchResult);

  std::vector<std::string> expected = {
      "lingo::i18n::initialize",
      "lingo::i18n::getenv ORV_DIAGNOSTIC_DEST",
      "lingo::i18n::unsetenv ORV_DIAGNOSTIC_DEST",
      "AppInitCommandLine",
      "AppInitResources",
      "ClientApp",
      "AppGetCommandLine",
      journalEntry("CefExecuteProcess child")};
  if (c.stopsServiceFramework) expected.push_back("ShutdownCppmsFramework");
  expected.push_back("ClientApp released");
  EXPECT_EQ(journal(), expected);
  EXPECT_EQ(recorder.lines("tarvexwindow::cefclientgtk"),
            std::vector<std::string>{"8 Done running the child process"});
  EXPECT_TRUE(recorder.lines("tarvexwindow::test").empty());
  // A child drops an inherited destination and does not restore it.
  EXPECT_EQ(testing::environmentValue("ORV_DIAGNOSTIC_DEST"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(All, ChildStartUpTest,
                         ::testing::ValuesIn(kChildCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST_F(StartUpTest, HostDirectoriesReplaceWhatSettingsGaveButSandboxStands) {
  browserclient_standin::setSettingsFillerForTesting([](CefSettings& s) {
    s.no_sandbox = 0;
    s.resources_dir_path = CefString("/from/settings/resources");
    s.locales_dir_path = CefString("/from/settings/locales");
    s.remote_debugging_port = 9222;
  });

  EXPECT_EQ(run({}), 0);

  const std::string resources =
      journalEntry("GetResourceDir")
          .substr(std::string("GetResourceDir ").size());
  const std::string locales =
      journalEntry("GetLocaleDir").substr(std::string("GetLocaleDir ").size());
  EXPECT_EQ(journalEntry("CefInitialize"),
            "CefInitialize no_sandbox=0 resources_dir_path=" + resources +
                " locales_dir_path=" + locales + " remote_debugging_port=9222");
  EXPECT_EQ(journalEntry("TarvexHandler::setRemoteDebuggingPort"),
            "TarvexHandler::setRemoteDebuggingPort 9222");
}

TEST_F(StartUpTest, DestinationIsHiddenUntilAppliedAfterInitialisation) {
  const std::string log = directory_.path() + "/host.log";
  ScopedEnvironment variable("ORV_DIAGNOSTIC_DEST", log);
  std::map<std::string, std::optional<std::string>> seen;
  standin::journal::setObserver([&seen](const std::string& entry) {
    for (const char* call : {"AppInitialize", "InitCppmsFramework"}) {
      if (entry.rfind(call, 0) == 0) {
        seen[call] = testing::environmentValue("ORV_DIAGNOSTIC_DEST");
      }
    }
  });

  EXPECT_EQ(run({}), 0);

  EXPECT_EQ(seen["AppInitialize"], std::nullopt);
  EXPECT_EQ(seen["InitCppmsFramework"], log);
  EXPECT_EQ(testing::environmentValue("ORV_DIAGNOSTIC_DEST"), log);
  const std::string written = testing::readFile(log);
  const auto enabled = written.find(
      "tarvexwindow::test 8 TARVEXWindow browser process logging "
      "enabled");
  const auto done = written.find("tarvexwindow::test 4 AppInitialize done");
  ASSERT_NE(enabled, std::string::npos) << written;
  ASSERT_NE(done, std::string::npos) << written;
  EXPECT_LT(enabled, done);
  // Records written before the destination was applied are not lost.
  EXPECT_LT(written.find("void detail::setPosixGroupId()"), enabled);
}

TEST_F(StartUpTest, RejectedDestinationDoesNotStopStartUp) {
  LogRecorder recorder;
  EXPECT_EQ(run({"--orvDiagnosticDest=/nonexistent-folder/x/host.log"}), 0);
  EXPECT_EQ(testing::environmentValue("ORV_DIAGNOSTIC_DEST"),
            "/nonexistent-folder/x/host.log");
  EXPECT_EQ(recorder.lines("tarvexwindow::test"),
            (std::vector<std::string>{
                "8 TARVEXWindow browser process logging enabled",
                "4 AppInitialize done"}));
  EXPECT_EQ(journal().back(), "ClientApp released");
}

struct TestChannelMaskCase {
  const char* name;
  ostra::log::Severity mask;
  std::vector<std::string> lines;
};

void PrintTo(const TestChannelMaskCase& c, std::ostream* os) { *os << c.name; }

const TestChannelMaskCase kTestChannelMaskCases[] = {
    {"All",
     ostra::log::kAllSeverities,
     {"8 TARVEXWindow browser process logging enabled",
      "4 AppInitialize done"}},
    {"InformationOnly", 8, {"8 TARVEXWindow browser process logging enabled"}},
    {"ProgressOnly", 4, {"4 AppInitialize done"}},
    {"None", 0, {}},
};

class TestChannelMaskTest
    : public StartUpTest,
      public ::testing::WithParamInterface<TestChannelMaskCase> {};

TEST_P(TestChannelMaskTest, WritesOnlyEnabledStartUpMessages) {
  ScopedMask mask("tarvexwindow::test", GetParam().mask);
  LogRecorder recorder;
  EXPECT_EQ(run({"--from-webwindow"}), 0);
  EXPECT_EQ(recorder.lines("tarvexwindow::test"), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(All, TestChannelMaskTest,
                         ::testing::ValuesIn(kTestChannelMaskCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST_F(StartUpTest, WithoutSessionNothingIsPublishedAndStartUpGoesOn) {
  ScopedEnvironment noSession("TARVEX_SESSION_ID", std::nullopt);
  EXPECT_EQ(run({"--from-webwindow"}), 0);
  EXPECT_TRUE(testing::journalEntriesStartingWith({"Endpoint"}).empty());
  EXPECT_FALSE(endpointPublishedDuringLoop_);
  EXPECT_EQ(journal().back(), "ClientApp released");
}

TEST_F(StartUpTest, ToolkitEditsOnlyTheArgumentCopy) {
  Arguments arguments({"--sync", "--url=https://example.org/"});
  SystemCalls system = testing::fakeSystemCalls();
  system.initToolkit = [](int* argc, char*** argv) {
    // As GTK does with its own options: remove "--sync".
    (*argv)[1] = (*argv)[2];
    (*argv)[2] = nullptr;
    *argc = 2;
  };

  EXPECT_EQ(runWindowHost(arguments.argc(), arguments.argv(), system), 0);

  EXPECT_EQ(arguments.argc(), 3);
  EXPECT_STREQ(arguments.argv()[1], "--sync");
  EXPECT_STREQ(arguments.argv()[2], "--url=https://example.org/");
  EXPECT_NE(
      journalEntry("NativeWindow::newWindow").find("https://example.org/"),
      std::string::npos);
}

}  // namespace
}  // namespace tarvexwindow
