// Starts the real TARVEXWindow under a private Xvfb display with a session
// id, an endpoint folder and a log destination, waits for the published
// process-group id, ends it (a signal to its group or to the process, or
// closing its window), and checks the exit code, the log's order of events
// and that the publication is gone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "x11_close_window.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Generous: the machine is shared and sanitizer builds are slow.
constexpr auto kDeadline = std::chrono::seconds(120);
constexpr auto kPollInterval = std::chrono::milliseconds(50);
constexpr char kSession[] = "123e4567-e89b-12d3-a456-426614174000";

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs `program` with `arguments` (argv[0] included) and the current
// environment changed by `overrides`; its output goes to `outputPath`.
pid_t spawn(const std::vector<std::string>& arguments,
            const std::map<std::string, std::string>& overrides,
            const std::string& outputPath, int keepFd = -1) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text(*entry);
    if (!overrides.count(text.substr(0, text.find('=')))) {
      environment.push_back(text);
    }
  }
  for (const auto& [name, value] : overrides) {
    environment.push_back(name + "=" + value);
  }
  std::vector<char*> argv, envp;
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : environment)
    envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out =
        ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (out >= 0) {
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
    }
    for (int fd = 3; fd < 256; ++fd) {
      if (fd != keepFd) ::close(fd);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

// Waits for `pid` until the deadline; its wait status, or nothing.
std::optional<int> waitForExit(pid_t pid) {
  const auto deadline = Clock::now() + kDeadline;
  while (Clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(kPollInterval);
  }
  return std::nullopt;
}

// A private X server on a display it picks itself.
class Xvfb {
 public:
  explicit Xvfb(const std::string& outputPath) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]),
                  "-nolisten", "tcp", "-screen", "0", "1024x768x24"},
                 {}, outputPath, fds[1]);
    ::close(fds[1]);
    std::string number;
    const auto deadline = Clock::now() + kDeadline;
    pollfd readable{fds[0], POLLIN, 0};
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
      if (::poll(&readable, 1, 100) <= 0) continue;
      char buffer[32];
      const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      number.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (number.find('\n') != std::string::npos) {
      display_ = ":" + number.substr(0, number.find('\n'));
    }
  }

  ~Xvfb() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      if (!waitForExit(pid_)) ::kill(pid_, SIGKILL);
    }
  }

  // Empty when the server did not start.
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// How the host is ended: a signal to its group or to the process, or (with
// no signal) closing its only window.
struct EndCase {
  const char* name;
  int signal;
  bool toGroup;
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

const EndCase kEndCases[] = {
    {"TermToGroup", SIGTERM, true},
    {"InterruptToGroup", SIGINT, true},
    {"TermToProcess", SIGTERM, false},
    {"LastWindowClosed", 0, false},
};

class EndToEndTest : public ::testing::TestWithParam<EndCase> {
 protected:
  EndToEndTest() {
    std::string pattern = fs::temp_directory_path() / "tarvexwindow-e2e-XXXXXX";
    root_ = ::mkdtemp(pattern.data());
  }
  ~EndToEndTest() override {
    if (host_ > 0 && !exited_) {
      ::kill(host_, SIGKILL);
      waitForExit(host_);
    }
    if (!HasFailure()) fs::remove_all(root_);
  }

  std::string endpointPath() const {
    return root_ + "/endpoints/" + kSession + "/ZelWindowHostPosixGroupId";
  }

  // The published value, once the file holds one.
  std::optional<std::string> waitForPublication() {
    const auto deadline = Clock::now() + kDeadline;
    while (Clock::now() < deadline) {
      const std::string value = readFile(endpointPath());
      if (!value.empty()) return value;
      int status = 0;
      if (::waitpid(host_, &status, WNOHANG) == host_) {
        exited_ = true;
        return std::nullopt;
      }
      std::this_thread::sleep_for(kPollInterval);
    }
    return std::nullopt;
  }

  // "<channel> <severity> <text>" of every log line, indentation removed.
  std::vector<std::string> logLines() const {
    std::vector<std::string> lines;
    std::istringstream log(readFile(root_ + "/host.log"));
    for (std::string line; std::getline(log, line);) {
      std::istringstream fields(line);
      std::string time, channel, severity;
      fields >> time >> channel >> severity;
      std::string text;
      std::getline(fields >> std::ws, text);
      lines.push_back(channel + " " + severity + " " + text);
    }
    return lines;
  }

  std::string output() const { return readFile(root_ + "/output.txt"); }

  std::string root_;
  pid_t host_ = -1;
  bool exited_ = false;
};

// Each expected line in order, each matched by its start.
void expectInOrder(const std::vector<std::string>& lines,
                   const std::vector<std::string>& expected) {
  std::size_t next = 0;
  for (const auto& line : lines) {
    if (next < expected.size() && line.rfind(expected[next], 0) == 0) ++next;
  }
  std::ostringstream all;
  for (const auto& line : lines) all << line << "\n";
  EXPECT_EQ(next, expected.size())
      << "missing or out of order: "
      << (next < expected.size() ? expected[next] : "") << "\nlog:\n"
      << all.str();
}

TEST_P(EndToEndTest, StartsPublishesAndShutsDownInOrder) {
  constexpr char kUrl[] = "https://example.org/start";
  Xvfb xvfb(root_ + "/xvfb.txt");
  ASSERT_FALSE(xvfb.display().empty()) << readFile(root_ + "/xvfb.txt");

  host_ = spawn({TARVEXWINDOW_PATH, std::string("--url=") + kUrl,
                 "--position=10,20,640,480", "--visible=1"},
                {{"DISPLAY", xvfb.display()},
                 {"TARVEX_SESSION_ID", kSession},
                 {"TARVEX_ENDPOINT_DIR", root_ + "/endpoints"},
                 {"ORV_DIAGNOSTIC_DEST", root_ + "/host.log"}},
                root_ + "/output.txt");
  ASSERT_GT(host_, 0);

  const std::optional<std::string> published = waitForPublication();
  ASSERT_TRUE(published) << "no publication; output:\n" << output();
  const pid_t group = std::stoi(*published);
  EXPECT_EQ(group, host_);
  EXPECT_EQ(::getpgid(host_), host_);  // it leads its own group

  const bool bySignal = GetParam().signal != 0;
  if (bySignal) {
    ASSERT_EQ(::kill(GetParam().toGroup ? -group : host_, GetParam().signal),
              0);
  } else {
    const auto deadline = Clock::now() + kDeadline;
    while (!tarvexwindow::testing::closeWindowTitled(xvfb.display(), kUrl)) {
      ASSERT_LT(Clock::now(), deadline) << "no window; output:\n" << output();
      std::this_thread::sleep_for(kPollInterval);
    }
  }
  const std::optional<int> status = waitForExit(host_);
  ASSERT_TRUE(status) << "still running; output:\n" << output();
  exited_ = true;
  ASSERT_TRUE(WIFEXITED(*status)) << "status " << *status << "\n" << output();
  EXPECT_EQ(WEXITSTATUS(*status), 0) << output();

  const std::string pid = std::to_string(host_);
  const std::string windowClosed =
      "platform::journal 16 NativeWindow closed window-" + pid + "-1";
  const std::string getSessionId =
      "std::optional<std::__cxx11::basic_string<char> > getSessionID()";
  std::vector<std::string> expected = {
      "tarvexwindow::cefclient 32 void detail::setPosixGroupId()",
      "tarvexwindow::cefclient 64 void detail::setPosixGroupId()",
      "platform::journal 16 AppInitialize",
      "tarvexwindow::test 8 TARVEXWindow browser process logging enabled",
      "tarvexwindow::test 4 AppInitialize done",
      "platform::journal 16 InitCppmsFramework CEFWindowManager",
      "platform::journal 16 AppPostInitialize",
      "tarvexwindow::cefclient 8 group ID is " + pid,
      "tarvexwindow::cefclient 32 " + getSessionId,
      std::string(
          "tarvexwindow::cefclient 128 (sessionID.value_or(\"nil\"))=") +
          kSession,
      "tarvexwindow::cefclient 64 " + getSessionId,
      "platform::journal 16 Endpoint::publish " + pid +
          " ZelWindowHostPosixGroupId " + kSession,
      "browserclient::tarvexhandler 8 TarvexHandler::registerWindow",
      "platform::journal 16 NativeWindow::newWindow window-" + pid + "-1 " +
          kUrl + " 10,20,640,480 true Standard [] false",
      "browserclient::tarvexhandler 8 TarvexHandler::setRemoteDebuggingPort 0",
      "browserclient::tarvexhandler 8 TarvexHandler::beforeMessageLoop",
      "platform::journal 16 MainMessageLoopStd::run",
      bySignal ? "platform::journal 16 MainMessageLoopStd quit by signal"
               : windowClosed,
      "platform::journal 16 MainMessageLoopStd::run returns 0",
      "platform::journal 16 CefShutdown",
      "platform::journal 16 MainMessageLoopStd deleted",
      "browserclient::tarvexhandler 8 TarvexHandler::afterBrowserShutdown"};
  // A window still open when the browser has shut down is closed by the
  // product handler.
  if (bySignal) expected.push_back(windowClosed);
  expected.insert(expected.end(),
                  {"platform::journal 16 ShutdownCppmsFramework",
                   "platform::journal 16 Endpoint released " + endpointPath(),
                   "platform::journal 16 ClientApp released"});
  expectInOrder(logLines(), expected);
  EXPECT_FALSE(fs::exists(endpointPath()));
}

INSTANTIATE_TEST_SUITE_P(All, EndToEndTest, ::testing::ValuesIn(kEndCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
