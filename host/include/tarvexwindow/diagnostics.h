// The window host's diagnostics: its three log channels, the severities it
// writes at, and the hand-over of the diagnostic destination.
//
// Channels are process-wide loggers built during static initialisation and
// destroyed after main returns. Messages are written with the logger's
// write(severity, parts...): a message of severity S only when bit S is set
// in the channel's mask (the text is not even formatted otherwise) and the
// logging core is enabled.
//
// Thread-safety: the loggers may be used from any thread (see diaglog.h);
// the destination functions change the process environment and belong to
// the main thread's start-up.
#pragma once

#include <string>

#include "cef/command_line.h"
#include "diaglog/diaglog.h"

namespace tarvexwindow {

// "tarvexwindow::cefclient": process group, session id and endpoint.
extern ostra::log::diagnostic_logger cefclientChannel;
// "tarvexwindow::test": the browser process's start-up messages.
extern ostra::log::diagnostic_logger testChannel;
// "tarvexwindow::cefclientgtk": the child process's message.
extern ostra::log::diagnostic_logger cefclientGtkChannel;

namespace severity {
inline constexpr ostra::log::Severity kProgress = 4;
inline constexpr ostra::log::Severity kInformation = 8;
inline constexpr ostra::log::Severity kTraceEntry = 32;
inline constexpr ostra::log::Severity kTraceExit = 64;
inline constexpr ostra::log::Severity kTraceReturn = 128;
inline constexpr ostra::log::Severity kError = 512;
}  // namespace severity

// The environment variable and the switch naming the diagnostic
// destination.
inline constexpr char kDiagnosticDestVariable[] = "ORV_DIAGNOSTIC_DEST";
inline constexpr char16_t kDiagnosticDestVariable16[] = u"ORV_DIAGNOSTIC_DEST";
inline constexpr char kDiagnosticDestSwitch[] = "orvDiagnosticDest";

// Start-up, every process: the destination from the environment. A
// non-empty variable is removed from the environment, so that processes
// started before the destination is applied do not inherit it.
std::u16string takeDiagnosticDestination();

// Browser process, after the browser framework is initialised: the switch
// replaces `diagnosticDest` when present (even when empty); a non-empty
// destination is handed to the log administration (its failures are
// ignored: diagnostics must never stop start-up) and written back to the
// environment.
void applyDiagnosticDestination(const CefCommandLine& commandLine,
                                std::u16string& diagnosticDest);

}  // namespace tarvexwindow
