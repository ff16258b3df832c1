// Stand-in of the browser-client library's product handler and window event
// handler.
//
// Stand-in behaviour: the product handler writes each call it receives to
// the diagnostic log on its own channel, "browserclient::tarvexhandler", at
// severity 8, as "TarvexHandler::<operation>" followed by its argument, and
// records it in the stand-in journal. It keeps every registered window and
// closes and releases them in afterBrowserShutdown.
//
// Ownership: getTarvexHandler() shares one process-wide handler.
// Thread-safety: the process's main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "browserclient/export.h"
#include "cef/ref_counting.h"
#include "nativewindow/native_window.h"

// Receives one window's events; `windowId` is set by whoever creates it.
class BROWSERCLIENT_EXPORT WindowEventHandler
    : public window_notifier::ITarvexWindowInterface {
 public:
  WindowEventHandler();
  void windowClosed() override;

  std::string windowId;

 protected:
  ~WindowEventHandler() override;
};

namespace client::tarvex_interface {

class BROWSERCLIENT_EXPORT TarvexHandler {
 public:
  virtual ~TarvexHandler();
  virtual void beforeMessageLoop() = 0;
  virtual void setRemoteDebuggingPort(int port) = 0;
  virtual void registerWindow(scoped_refptr<NativeWindow> window,
                              scoped_refptr<WindowEventHandler> handler) = 0;
  virtual void afterBrowserShutdown() = 0;
};

BROWSERCLIENT_EXPORT std::shared_ptr<TarvexHandler> getTarvexHandler();

}  // namespace client::tarvex_interface
