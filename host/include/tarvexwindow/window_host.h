// The window host process: one executable for every role of the browser
// framework. Started by the product it is the browser process: it leads its
// own process group, initialises the framework, applies the diagnostic
// destination, starts the service framework and GTK, publishes its group id,
// opens the first window, runs the message loop and then tears down in a
// fixed order. Started again by the framework with a "type" switch it is a
// child process that exits with the framework's result.
//
// WindowHost owns what the process needs for its whole run and gives each
// phase a name; runWindowHost runs the phases in order and is all main()
// does. The teardown order is not the reverse of start-up, so it is written
// out in shutDownBrowserProcess rather than left to destructors.
//
// Thread-safety: everything runs on the process's main thread, which is also
// the message loop's thread. No threads, no locks of our own.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browserclient/browserclient.h"
#include "browserclient/main_message_loop.h"
#include "endpointregistry/endpoint.h"
#include "tarvexwindow/system_calls.h"

namespace tarvexwindow {

// A writable copy of the arguments for the GUI toolkit, which may remove
// its own options from it; the process's own argv is never modified.
class ArgumentCopy {
 public:
  ArgumentCopy(int argc, char** argv);
  ArgumentCopy(const ArgumentCopy&) = delete;
  ArgumentCopy& operator=(const ArgumentCopy&) = delete;

  int* count() { return &count_; }
  // The address of the null-terminated pointer array.
  char*** pointers() { return &array_; }

 private:
  std::vector<std::string> strings_;  // the owned copies of argv[0..argc-1]
  std::vector<char*> pointers_;       // argc + 1 entries, the last null
  int count_;
  char** array_;
};

class WindowHost {
 public:
  // Start-up common to both roles: text library, diagnostic destination
  // from the environment, argument copy, command line and resources, the
  // application object.
  WindowHost(int argc, char** argv, SystemCalls system = SystemCalls());
  ~WindowHost();
  WindowHost(const WindowHost&) = delete;
  WindowHost& operator=(const WindowHost&) = delete;

  // Lets the framework decide the role: >= 0 in a child process (its exit
  // code), below 0 in the browser process.
  int dispatchProcess();

  // Child process: logs, stops the service framework in a renderer, and
  // gives back `exitCode`.
  int finishChildProcess(int exitCode);

  // Browser process, up to the message loop.
  void startBrowserProcess();
  // Runs the message loop on this thread; its result is the exit code.
  int runMessageLoop();
  // Browser process after the loop: framework shutdown, loop deleted,
  // product handler told, service framework stopped, endpoint released.
  void shutDownBrowserProcess();

 private:
  SystemCalls system_;
  // Released last (members are destroyed in reverse order).
  std::u16string diagnosticDest_;
  std::optional<ArgumentCopy> argumentCopy_;
  scoped_refptr<ClientApp> application_;
  scoped_refptr<CefCommandLine> commandLine_;
  CefMainArgs mainArgs_;
  CefSettings settings_;
  std::string resourceDir_;
  std::string localeDir_;
  std::unique_ptr<client::MainMessageLoopStd> messageLoop_;
  std::optional<agent::vorn::endpointregistry::Endpoint> endpoint_;
};

// The whole process: what main() runs. Returns the process's exit code.
int runWindowHost(int argc, char** argv, SystemCalls system = SystemCalls());

}  // namespace tarvexwindow
