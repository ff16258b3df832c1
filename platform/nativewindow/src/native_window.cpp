#include "nativewindow/native_window.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <stdexcept>

#include "journal/journal.h"

namespace {

int openWindows = 0;  // main thread only

std::string flagText(bool flag) { return flag ? "true" : "false"; }

}  // namespace

scoped_refptr<NativeWindow> NativeWindow::makeNativeWindow(
    std::string id, bool flag1, bool flag2,
    scoped_refptr<window_notifier::ITarvexWindowInterface> handler,
    const std::string& text1, std::string text2) {
  standin::journal::record("NativeWindow::makeNativeWindow " + id + " " +
                           flagText(flag1) + " " + flagText(flag2) + " [" +
                           text1 + "] [" + text2 + "]");
  return scoped_refptr<NativeWindow>(
      new NativeWindow(std::move(id), std::move(handler)));
}

NativeWindow::NativeWindow(
    std::string id,
    scoped_refptr<window_notifier::ITarvexWindowInterface> handler)
    : id_(std::move(id)), handler_(std::move(handler)) {}

NativeWindow::~NativeWindow() = default;

void NativeWindow::newWindow(std::string url, CefRect rect, bool visible,
                             std::string kind, std::string text, bool flag) {
  standin::journal::record(
      "NativeWindow::newWindow " + id_ + " " + url + " " +
      std::to_string(rect.x) + "," + std::to_string(rect.y) + "," +
      std::to_string(rect.width) + "," + std::to_string(rect.height) + " " +
      flagText(visible) + " " + kind + " [" + text + "] " + flagText(flag));
  if (widget_) throw std::logic_error("window " + id_ + " is already open");
  if (!gdk_display_get_default()) return;  // no display: recorded only

  widget_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(widget_), url.c_str());
  gtk_window_set_default_size(GTK_WINDOW(widget_), std::max(1, rect.width),
                              std::max(1, rect.height));
  gtk_window_move(GTK_WINDOW(widget_), rect.x, rect.y);
  GtkWidget* label = gtk_label_new(url.c_str());
  gtk_container_add(GTK_CONTAINER(widget_), label);
  // The open window keeps this object alive until it is destroyed.
  addRef();
  g_signal_connect(widget_, "destroy", G_CALLBACK(&NativeWindow::onDestroy),
                   this);
  ++openWindows;
  if (visible) gtk_widget_show_all(widget_);
}

void NativeWindow::close() {
  if (widget_) gtk_widget_destroy(widget_);
}

int NativeWindow::openWindowCount() { return openWindows; }

void NativeWindow::onDestroy(GtkWidget*, void* data) {
  auto* self = static_cast<NativeWindow*>(data);
  self->widget_ = nullptr;
  --openWindows;
  standin::journal::record("NativeWindow closed " + self->id_);
  if (self->handler_) self->handler_->windowClosed();
  if (openWindows == 0 && gtk_main_level() > 0) gtk_main_quit();
  self->release();  // the reference the open window held
}
