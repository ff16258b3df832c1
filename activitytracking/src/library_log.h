// The library's diagnostic channel "activitytracking".
#pragma once

#include <exception>

#include "diaglog/diaglog.h"

namespace activitytracking::detail {

// Severities the library writes with.
inline constexpr ostra::log::Severity kStateChangeSeverity = 1;
inline constexpr ostra::log::Severity kErrorSeverity = 512;

// Built at library load, before the registries; destroyed after the
// dispatcher and timer threads have been stopped.
ostra::log::diagnostic_logger& channelLogger();

// Logs a request that failed with `error` at kErrorSeverity. Never throws.
void logFailure(const std::exception_ptr& error) noexcept;

}  // namespace activitytracking::detail
