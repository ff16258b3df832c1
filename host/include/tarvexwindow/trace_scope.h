// Function-trace scopes: records of a traced call's entry, return value and
// exit on a log channel.
//
// A FunctionTraceScope is built as the first statement of a traced function
// and lives on its stack. It is enabled when bit 32 was set in the channel's
// mask at construction; an enabled scope writes the entry record (severity
// 32, the function text) at the thread's current nesting depth, raises the
// depth by one, and at its end lowers it again and writes the exit record
// (severity 64, the function text, with " [throw]" appended when the
// function is being left by an exception). A ReturnTraceScope also writes,
// before the exit record and one level deeper, the return-value record
// (severity 128): the expression text, "=", and the value text as it is
// when the scope ends. The exit and return-value records are written
// whenever the scope is enabled, whatever the bits 64 and 128; a disabled
// scope writes nothing. Records are skipped while the logging core is
// disabled. A scope's end never throws: failures while writing are
// swallowed.
//
// Thread-safety: a scope belongs to the thread that built it; the nesting
// depth is per thread and per channel.
#pragma once

#include <string>

#include "diaglog/diaglog.h"

namespace tarvexwindow {

class FunctionTraceScope {
 public:
  FunctionTraceScope(ostra::log::diagnostic_logger& logger,
                     std::string functionText);
  ~FunctionTraceScope();
  FunctionTraceScope(const FunctionTraceScope&) = delete;
  FunctionTraceScope& operator=(const FunctionTraceScope&) = delete;

 protected:
  ostra::log::diagnostic_logger& logger_;
  std::string functionText_;
  bool enabled_;
  int exceptionsAtEntry_;
};

class ReturnTraceScope : public FunctionTraceScope {
 public:
  // `valueText` must outlive the scope; it is read when the scope ends.
  ReturnTraceScope(ostra::log::diagnostic_logger& logger,
                   std::string functionText, std::string expressionText,
                   const std::string& valueText);
  ~ReturnTraceScope();

 private:
  std::string expressionText_;
  const std::string& valueText_;
};

}  // namespace tarvexwindow
