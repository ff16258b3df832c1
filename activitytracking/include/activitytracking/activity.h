// The kinds of activity a tracker follows and the states it reports. Both
// are 32-bit values and are written to the log as their numbers.
#pragma once

#include <cstdint>

#include "activitytracking/export.h"

namespace activitytracking {

enum Activity : std::int32_t {
  UI = 0,
  Execution = 1,
  Simulation = 2,
  ModelCompilation = 3,
  Composite = 4,
};

enum State : std::int32_t {
  Idle = 0,
  Active = 1,
  Busy = 2,
};

// "Idle", "Active" or "Busy"; "unknown" for any other value.
ACTIVITYTRACK_EXPORT const char* stateName(State state);

}  // namespace activitytracking
