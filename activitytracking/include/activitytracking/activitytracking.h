// Umbrella header of libactivitytrack.
#pragma once

#include "activitytracking/activity.h"
