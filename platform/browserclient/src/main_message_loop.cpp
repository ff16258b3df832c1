#include "browserclient/main_message_loop.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <stdexcept>

#include "journal/journal.h"

namespace client {
namespace {

std::function<int()>& runOverride() {
  static std::function<int()> run;
  return run;
}

}  // namespace

MainMessageLoopStd::MainMessageLoopStd() {
  standin::journal::record("MainMessageLoopStd");
  // Signals become events of the default main context, dispatched while the
  // loop runs; a signal that came earlier is dispatched as soon as it does.
  termSource_ = g_unix_signal_add(SIGTERM, &MainMessageLoopStd::onSignal, this);
  interruptSource_ =
      g_unix_signal_add(SIGINT, &MainMessageLoopStd::onSignal, this);
}

MainMessageLoopStd::~MainMessageLoopStd() {
  g_source_remove(termSource_);
  g_source_remove(interruptSource_);
  standin::journal::record("MainMessageLoopStd deleted");
}

int MainMessageLoopStd::run() {
  standin::journal::record("MainMessageLoopStd::run");
  if (runOverride()) return runOverride()();
  if (!gdk_display_get_default()) {
    throw std::logic_error("the message loop needs GTK with a display");
  }
  if (!quitRequested_) gtk_main();
  standin::journal::record("MainMessageLoopStd::run returns 0");
  return 0;
}

void MainMessageLoopStd::quit() {
  quitRequested_ = true;
  if (gtk_main_level() > 0) gtk_main_quit();
}

int MainMessageLoopStd::onSignal(void* self) {
  standin::journal::record("MainMessageLoopStd quit by signal");
  static_cast<MainMessageLoopStd*>(self)->quit();
  return G_SOURCE_CONTINUE;
}

void MainMessageLoopStd::setRunOverrideForTesting(std::function<int()> run) {
  runOverride() = std::move(run);
}

}  // namespace client
