// Stand-in of the maker's native window library: top-level windows for web
// content, and the notification interface a window reports to.
//
// Stand-in behaviour: there is no web engine. newWindow opens a plain GTK 2
// top-level window at the rectangle (width and height of at least 1),
// titled with the address and showing it as a label, shown only when
// visible. When no display is open (GTK not initialised) the call is only
// recorded. Closing the last open window quits the running GTK main loop.
// Every call is recorded in the stand-in journal.
//
// Ownership: reference-counted. An open GTK window holds one reference to
// its NativeWindow until it is destroyed; a NativeWindow holds its
// notification handler.
// Thread-safety: GTK's main thread only.
#pragma once

#include <string>

#include "cef/app.h"
#include "cef/ref_counting.h"

#define NATIVEWINDOW_EXPORT __attribute__((visibility("default")))

typedef struct _GtkWidget GtkWidget;

namespace window_notifier {

// What a native window tells the product about itself.
class NATIVEWINDOW_EXPORT ITarvexWindowInterface : public CefBaseRefCounted {
 public:
  // The window was closed (its GTK window destroyed); main thread.
  virtual void windowClosed() = 0;

 protected:
  ~ITarvexWindowInterface() override = default;
};

}  // namespace window_notifier

class NATIVEWINDOW_EXPORT NativeWindow : public CefBaseRefCounted {
 public:
  // A window with id `id` that reports to `handler`; nothing is shown until
  // newWindow. The flags and texts belong to the product's window kinds and
  // are recorded only.
  static scoped_refptr<NativeWindow> makeNativeWindow(
      std::string id, bool flag1, bool flag2,
      scoped_refptr<window_notifier::ITarvexWindowInterface> handler,
      const std::string& text1, std::string text2);

  // Opens the window at `rect` for `url` (see above). `kind`, `text` and
  // `flag` are recorded only. Throws std::logic_error when this window is
  // already open.
  void newWindow(std::string url, CefRect rect, bool visible, std::string kind,
                 std::string text, bool flag);

  // Destroys the GTK window if it is open.
  void close();

  const std::string& id() const { return id_; }
  bool isOpen() const { return widget_ != nullptr; }

  // Stand-in only: the number of GTK windows open in the process.
  static int openWindowCount();

 private:
  NativeWindow(std::string id,
               scoped_refptr<window_notifier::ITarvexWindowInterface> handler);
  ~NativeWindow() override;
  static void onDestroy(GtkWidget* widget, void* self);

  std::string id_;
  scoped_refptr<window_notifier::ITarvexWindowInterface> handler_;
  GtkWidget* widget_ = nullptr;  // the open GTK window, if any
};
