#include "tarvexwindow/trace_scope.h"

#include <exception>

#include "tarvexwindow/diagnostics.h"

namespace tarvexwindow {

FunctionTraceScope::FunctionTraceScope(ostra::log::diagnostic_logger& logger,
                                       std::string functionText)
    : logger_(logger),
      functionText_(std::move(functionText)),
      enabled_((logger.enabledSeverities.load(std::memory_order_relaxed) &
                severity::kTraceEntry) != 0),
      exceptionsAtEntry_(std::uncaught_exceptions()) {
  if (!enabled_) return;
  if (logger_.core->get_logging_enabled()) {
    logger_.writeRecord(severity::kTraceEntry, functionText_);
  }
  logger_.nestingDepth.increment();
}

FunctionTraceScope::~FunctionTraceScope() {
  if (!enabled_) return;
  try {
    logger_.nestingDepth.decrement();
    if (!logger_.core->get_logging_enabled()) return;
    const bool leftByException =
        std::uncaught_exceptions() > exceptionsAtEntry_;
    logger_.writeRecord(severity::kTraceExit, functionText_,
                        leftByException ? " [throw]" : "");
  } catch (...) {
    // Tracing must never turn a return into a crash (nor an unwinding into
    // termination): a record that cannot be written is dropped.
  }
}

ReturnTraceScope::ReturnTraceScope(ostra::log::diagnostic_logger& logger,
                                   std::string functionText,
                                   std::string expressionText,
                                   const std::string& valueText)
    : FunctionTraceScope(logger, std::move(functionText)),
      expressionText_(std::move(expressionText)),
      valueText_(valueText) {}

ReturnTraceScope::~ReturnTraceScope() {
  if (!enabled_) return;
  try {
    if (logger_.core->get_logging_enabled()) {
      logger_.writeRecord(severity::kTraceReturn, expressionText_, "=",
                          valueText_);
    }
  } catch (...) {
    // As for the exit record: a scope's end never throws.
  }
}

}  // namespace tarvexwindow
