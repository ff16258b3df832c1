// Stand-in of the browser framework's process entry: the application object,
// the main arguments, the browser settings record, rectangles, and process
// dispatch, initialisation and shutdown.
//
// The stand-in runs no browser engine. CefExecuteProcess decides the role
// only: a process whose arguments carry the switch "type" is a child and
// gets 0 (or the result set by setChildProcessResultForTesting); any other
// gets -1 and is the browser process. Every call is recorded in the
// stand-in journal. All functions are meant for the process's main thread.
#pragma once

#include <cstddef>

#include "cef/export.h"
#include "cef/ref_counting.h"
#include "cef/string.h"

// The application object handed to the framework; products derive from it.
class CEF_STANDIN_EXPORT CefApp : public CefBaseRefCounted {
 protected:
  ~CefApp() override = default;
};

// The process's own arguments, not copied.
struct CefMainArgs {
  CefMainArgs(int argcIn, char** argvIn) : argc(argcIn), argv(argvIn) {}
  int argc;
  char** argv;
};

// Browser-process settings. `size` must hold sizeof(CefSettings). The text
// members are owned by the record and freed with it.
struct CefSettings {
  std::size_t size = 0;
  int no_sandbox = 0;
  CefString resources_dir_path;
  CefString locales_dir_path;
  int remote_debugging_port = 0;
};

struct CefRect {
  CefRect() = default;
  CefRect(int xIn, int yIn, int widthIn, int heightIn)
      : x(xIn), y(yIn), width(widthIn), height(heightIn) {}
  friend bool operator==(const CefRect&, const CefRect&) = default;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Decides the process's role: >= 0 in a child process (its exit code), -1
// in the browser process.
CEF_STANDIN_EXPORT int CefExecuteProcess(const CefMainArgs& args,
                                         scoped_refptr<CefApp> application,
                                         void* windowsSandboxInfo);

// Initialises the framework for the browser process. Throws
// std::logic_error when it is already initialised or `settings.size` is
// wrong.
CEF_STANDIN_EXPORT bool CefInitialize(const CefMainArgs& args,
                                      const CefSettings& settings,
                                      scoped_refptr<CefApp> application,
                                      void* windowsSandboxInfo);

// Shuts the framework down; harmless when it was not initialised.
CEF_STANDIN_EXPORT void CefShutdown();

namespace cef_standin {
// Stand-in only: the result CefExecuteProcess gives child processes from now
// on (0 at start).
CEF_STANDIN_EXPORT void setChildProcessResultForTesting(int result);
// Stand-in only: whether the framework is initialised now.
CEF_STANDIN_EXPORT bool isInitialized();
}  // namespace cef_standin
