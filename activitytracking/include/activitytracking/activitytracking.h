// Umbrella header of libactivitytrack: trackers of user-interface events,
// code execution, simulation and model compilation, their composite, and
// the process-wide report functions. See trackers.h to start.
#pragma once

#include "activitytracking/activity.h"
#include "activitytracking/activity_tracker.h"
#include "activitytracking/timed_trackers.h"
#include "activitytracking/trackers.h"
