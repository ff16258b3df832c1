#include "tarvexwindow/window_host.h"

#include "browserclient/tarvex_handler.h"
#include "tarvexwindow/diagnostics.h"
#include "tarvexwindow/window_host_helper_functions.h"
#include "tarvexwindow/window_launch_options.h"
#include "textenv/i18n.h"

namespace tarvexwindow {
namespace {

constexpr char kTypeSwitch[] = "type";
constexpr char16_t kRendererType[] = u"renderer";
constexpr char kEnableSandboxSwitch[] = "enable-sandbox";
constexpr char kFromWebWindowSwitch[] = "from-webwindow";
constexpr char kServiceFrameworkName[] = "CEFWindowManager";

}  // namespace

ArgumentCopy::ArgumentCopy(int argc, char** argv)
    : strings_(argv, argv + argc), count_(argc) {
  pointers_.reserve(strings_.size() + 1);
  for (std::string& argument : strings_) pointers_.push_back(argument.data());
  pointers_.push_back(nullptr);
  array_ = pointers_.data();
}

WindowHost::WindowHost(int argc, char** argv, SystemCalls system)
    : system_(std::move(system)), mainArgs_(argc, argv) {
  lingo::i18n::initialize();
  diagnosticDest_ = takeDiagnosticDestination();
  argumentCopy_.emplace(argc, argv);
  AppInitCommandLine(argc, argv);
  AppInitResources();
  application_ = new ClientApp;
  commandLine_ = AppGetCommandLine();
}

WindowHost::~WindowHost() = default;

int WindowHost::dispatchProcess() {
  return CefExecuteProcess(mainArgs_, application_, nullptr);
}

int WindowHost::finishChildProcess(int exitCode) {
  cefclientGtkChannel.write(severity::kInformation,
                            "Done running the child process");
  if (commandLine_->hasSwitch(kTypeSwitch) &&
      commandLine_->getSwitchValue(kTypeSwitch).toString16() == kRendererType) {
    ShutdownCppmsFramework();
  }
  return exitCode;
}

void WindowHost::startBrowserProcess() {
  settings_ = CefSettings{};
  settings_.size = sizeof(CefSettings);

  if (!commandLine_->hasSwitch(kTypeSwitch)) detail::setPosixGroupId(system_);

  // The sandbox cannot run as the super-user; otherwise it is opt-in.
  const uid_t effectiveUser = system_.effectiveUserId();
  settings_.no_sandbox =
      effectiveUser != 0 && commandLine_->hasSwitch(kEnableSandboxSwitch) ? 0
                                                                          : 1;

  GetResourceDir(resourceDir_);
  AppGetSettings(settings_);
  settings_.resources_dir_path = CefString(resourceDir_);
  GetLocaleDir(localeDir_);
  settings_.locales_dir_path = CefString(localeDir_);

  messageLoop_ = std::make_unique<client::MainMessageLoopStd>();
  AppInitialize(mainArgs_, settings_, application_, nullptr);

  applyDiagnosticDestination(*commandLine_, diagnosticDest_);
  testChannel.write(severity::kInformation,
                    "TARVEXWindow browser process logging enabled");
  testChannel.write(severity::kProgress, "AppInitialize done");

  InitCppmsFramework(commandLine_, kServiceFrameworkName);
  system_.initToolkit(argumentCopy_->count(), argumentCopy_->pointers());
  AppPostInitialize();

  if (!commandLine_->hasSwitch(kTypeSwitch))
    endpoint_ = publishEndpoint(system_);
  if (!commandLine_->hasSwitch(kFromWebWindowSwitch)) {
    openFirstWindow(readWindowLaunchOptions(*commandLine_));
  }

  client::tarvex_interface::getTarvexHandler()->setRemoteDebuggingPort(
      settings_.remote_debugging_port);
  client::tarvex_interface::getTarvexHandler()->beforeMessageLoop();
}

int WindowHost::runMessageLoop() { return messageLoop_->run(); }

void WindowHost::shutDownBrowserProcess() {
  CefShutdown();  // the last call into the browser framework
  messageLoop_.reset();
  client::tarvex_interface::getTarvexHandler()->afterBrowserShutdown();
  ShutdownCppmsFramework();
  // The publication outlives the service framework.
  endpoint_.reset();
}

int runWindowHost(int argc, char** argv, SystemCalls system) {
  WindowHost host(argc, argv, std::move(system));
  const int dispatchResult = host.dispatchProcess();
  if (dispatchResult >= 0) return host.finishChildProcess(dispatchResult);
  host.startBrowserProcess();
  const int exitCode = host.runMessageLoop();
  host.shutDownBrowserProcess();
  return exitCode;
}

}  // namespace tarvexwindow
