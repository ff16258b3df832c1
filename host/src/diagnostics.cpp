#include "tarvexwindow/diagnostics.h"

#include "textenv/i18n.h"

namespace tarvexwindow {

ostra::log::diagnostic_logger cefclientChannel("tarvexwindow::cefclient");
ostra::log::diagnostic_logger testChannel("tarvexwindow::test");
ostra::log::diagnostic_logger cefclientGtkChannel("tarvexwindow::cefclientgtk");

std::u16string takeDiagnosticDestination() {
  std::u16string diagnosticDest = lingo::i18n::getenv(kDiagnosticDestVariable);
  // An empty-but-set variable is left alone: there is nothing to hide.
  if (!diagnosticDest.empty()) lingo::i18n::unsetenv(kDiagnosticDestVariable);
  return diagnosticDest;
}

void applyDiagnosticDestination(const CefCommandLine& commandLine,
                                std::u16string& diagnosticDest) {
  if (commandLine.hasSwitch(kDiagnosticDestSwitch)) {
    diagnosticDest =
        commandLine.getSwitchValue(kDiagnosticDestSwitch).toString16();
  }
  if (diagnosticDest.empty()) return;
  try {
    const auto admin = ostra::log::local::admin::get();
    admin->setDestination(lingo::i18n::to_string(diagnosticDest));
  } catch (...) {
    // Diagnostics must never stop the window host: a destination the log
    // library rejects leaves the logs where they were, and start-up goes on.
  }
  lingo::i18n::setenv(kDiagnosticDestVariable16, diagnosticDest, 1, false);
}

}  // namespace tarvexwindow
