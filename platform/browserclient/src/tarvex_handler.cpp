#include "browserclient/tarvex_handler.h"

#include "diaglog/diaglog.h"
#include "journal/journal.h"

namespace {

ostra::log::diagnostic_logger handlerChannel("browserclient::tarvexhandler");

constexpr ostra::log::Severity kHandlerSeverity = 8;

void report(const std::string& call) {
  standin::journal::recordQuietly(call);
  handlerChannel.write(kHandlerSeverity, call);
}

// The product's handler: reports each call and keeps the registered windows
// until the browser has shut down.
class ReportingTarvexHandler : public client::tarvex_interface::TarvexHandler {
 public:
  void beforeMessageLoop() override {
    report("TarvexHandler::beforeMessageLoop");
  }

  void setRemoteDebuggingPort(int port) override {
    report("TarvexHandler::setRemoteDebuggingPort " + std::to_string(port));
  }

  void registerWindow(scoped_refptr<NativeWindow> window,
                      scoped_refptr<WindowEventHandler> handler) override {
    report("TarvexHandler::registerWindow " + window->id() + " " +
           handler->windowId);
    windows_.push_back(Registered{std::move(window), std::move(handler)});
  }

  void afterBrowserShutdown() override {
    report("TarvexHandler::afterBrowserShutdown");
    std::vector<Registered> windows;
    windows.swap(windows_);
    for (auto& registered : windows) registered.window->close();
  }

 private:
  struct Registered {
    scoped_refptr<NativeWindow> window;
    scoped_refptr<WindowEventHandler> handler;
  };
  std::vector<Registered> windows_;
};

}  // namespace

WindowEventHandler::WindowEventHandler() {
  standin::journal::record("WindowEventHandler");
}

WindowEventHandler::~WindowEventHandler() = default;

void WindowEventHandler::windowClosed() {
  standin::journal::record("WindowEventHandler::windowClosed " + windowId);
}

namespace client::tarvex_interface {

TarvexHandler::~TarvexHandler() = default;

std::shared_ptr<TarvexHandler> getTarvexHandler() {
  static const std::shared_ptr<TarvexHandler> handler =
      std::make_shared<ReportingTarvexHandler>();
  return handler;
}

}  // namespace client::tarvex_interface
