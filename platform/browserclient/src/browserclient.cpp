#include "browserclient/browserclient.h"

#include <unistd.h>

#include <climits>
#include <stdexcept>

#include "journal/journal.h"
#include "servicehost/servicehost.h"

namespace cefclient {
const char kUrl[] = "url";
const char kTitle[] = "title";
const char kPosition[] = "position";
const char kVisible[] = "visible";
}  // namespace cefclient

namespace {

scoped_refptr<CefCommandLine>& processCommandLine() {
  static scoped_refptr<CefCommandLine> commandLine;
  return commandLine;
}

std::function<void(CefSettings&)>& settingsFiller() {
  static std::function<void(CefSettings&)> filler;
  return filler;
}

int remoteDebuggingPortSwitch() {
  const auto& commandLine = processCommandLine();
  if (!commandLine || !commandLine->hasSwitch("remote-debugging-port")) {
    return 0;
  }
  try {
    const int port = std::stoi(
        commandLine->getSwitchValue("remote-debugging-port").toString());
    return port >= 0 && port <= 65535 ? port : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

std::string executableFolder() {
  std::string path(PATH_MAX, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0) return ".";
  path.resize(static_cast<std::size_t>(length));
  return path.substr(0, path.rfind('/'));
}

}  // namespace

ClientApp::ClientApp() { standin::journal::record("ClientApp"); }

ClientApp::~ClientApp() { standin::journal::record("ClientApp released"); }

void AppInitCommandLine(int argc, const char* const* argv) {
  standin::journal::record("AppInitCommandLine " + std::to_string(argc));
  auto commandLine = CefCommandLine::createCommandLine();
  commandLine->initFromArgv(argc, argv);
  processCommandLine() = commandLine;
}

void AppInitResources() { standin::journal::record("AppInitResources"); }

scoped_refptr<CefCommandLine> AppGetCommandLine() {
  standin::journal::record("AppGetCommandLine");
  if (!processCommandLine()) {
    throw std::logic_error("AppInitCommandLine has not been called");
  }
  return processCommandLine();
}

void AppGetSettings(CefSettings& settings) {
  standin::journal::record("AppGetSettings no_sandbox=" +
                           std::to_string(settings.no_sandbox));
  if (settingsFiller()) {
    settingsFiller()(settings);
    return;
  }
  settings.remote_debugging_port = remoteDebuggingPortSwitch();
}

void GetResourceDir(std::string& dir) {
  dir = executableFolder() + "/resources";
  standin::journal::record("GetResourceDir " + dir);
}

void GetLocaleDir(std::string& dir) {
  dir = executableFolder() + "/locales";
  standin::journal::record("GetLocaleDir " + dir);
}

void AppInitialize(const CefMainArgs& args, const CefSettings& settings,
                   scoped_refptr<ClientApp> application,
                   void* windowsSandboxInfo) {
  standin::journal::record("AppInitialize");
  CefInitialize(args, settings, application, windowsSandboxInfo);
}

void InitCppmsFramework(const scoped_refptr<CefCommandLine>&,
                        std::string name) {
  standin::journal::record("InitCppmsFramework " + name);
  ostra::cppmicroservices::startFramework(name);
}

void AppPostInitialize() { standin::journal::record("AppPostInitialize"); }

void ShutdownCppmsFramework() {
  standin::journal::record("ShutdownCppmsFramework");
  ostra::cppmicroservices::stopFramework();
}

namespace browserclient_standin {

void setSettingsFillerForTesting(std::function<void(CefSettings&)> filler) {
  settingsFiller() = std::move(filler);
}

}  // namespace browserclient_standin
