// Stand-in of the maker's browser-client library: the process command line,
// the application object, settings and directories, initialisation of the
// browser framework and of the service framework, and the window switches.
//
// Stand-in behaviour: every call is recorded in the stand-in journal.
// AppGetSettings writes remote_debugging_port from the switch
// "remote-debugging-port" (0 when absent or not a number) and leaves every
// other member alone, unless a test installs its own filler.
// GetResourceDir and GetLocaleDir name the folders "resources" and
// "locales" beside the executable. InitCppmsFramework starts the service
// framework (see servicehost.h); ShutdownCppmsFramework stops it and is
// harmless when none is running (as in a renderer child).
//
// Ownership: the process command line is one reference-counted object built
// by AppInitCommandLine and handed out by AppGetCommandLine.
// Thread-safety: the process's main thread only.
#pragma once

#include <functional>
#include <string>

#include "browserclient/export.h"
#include "cef/app.h"
#include "cef/command_line.h"

// The product's application object.
class BROWSERCLIENT_EXPORT ClientApp : public CefApp {
 public:
  ClientApp();

 protected:
  ~ClientApp() override;
};

BROWSERCLIENT_EXPORT void AppInitCommandLine(int argc, const char* const* argv);
BROWSERCLIENT_EXPORT void AppInitResources();
// The command line AppInitCommandLine built; throws std::logic_error before.
BROWSERCLIENT_EXPORT scoped_refptr<CefCommandLine> AppGetCommandLine();
BROWSERCLIENT_EXPORT void AppGetSettings(CefSettings& settings);
BROWSERCLIENT_EXPORT void GetResourceDir(std::string& dir);
BROWSERCLIENT_EXPORT void GetLocaleDir(std::string& dir);
// Initialises the browser framework for the browser process.
BROWSERCLIENT_EXPORT void AppInitialize(const CefMainArgs& args,
                                        const CefSettings& settings,
                                        scoped_refptr<ClientApp> application,
                                        void* windowsSandboxInfo);
BROWSERCLIENT_EXPORT void InitCppmsFramework(
    const scoped_refptr<CefCommandLine>& commandLine, std::string name);
BROWSERCLIENT_EXPORT void AppPostInitialize();
BROWSERCLIENT_EXPORT void ShutdownCppmsFramework();

namespace cefclient {
// Names of the first window's switches.
BROWSERCLIENT_EXPORT extern const char kUrl[];       // "url"
BROWSERCLIENT_EXPORT extern const char kTitle[];     // "title"
BROWSERCLIENT_EXPORT extern const char kPosition[];  // "position"
BROWSERCLIENT_EXPORT extern const char kVisible[];   // "visible"
}  // namespace cefclient

namespace browserclient_standin {
// Stand-in only: replaces what AppGetSettings writes (empty: the default).
BROWSERCLIENT_EXPORT void setSettingsFillerForTesting(
    std::function<void(CefSettings&)> filler);
}  // namespace browserclient_standin
