// Stand-in of the maker's engine-service query library: which computing
// engine instance the process serves and whether that engine's context is
// active right now.
//
// Defaults: instance id 1, context not active. Tests change both through
// the stand-in-only setters in enginequery::testing.
//
// Thread-safety: every function may be called from any thread; the answers
// are process-wide.
#pragma once

#include <cstdint>

#define ENGINEQUERY_EXPORT __attribute__((visibility("default")))

namespace enginequery {

ENGINEQUERY_EXPORT std::uint64_t engineInstanceId();
ENGINEQUERY_EXPORT bool isEngineContextActive();

namespace testing {
ENGINEQUERY_EXPORT void setEngineInstanceId(std::uint64_t id);
ENGINEQUERY_EXPORT void setEngineContextActive(bool active);
}  // namespace testing

}  // namespace enginequery
