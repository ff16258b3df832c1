#include "activitytracking/activity.h"

namespace activitytracking {

const char* stateName(State state) {
  switch (state) {
    case Idle:
      return "Idle";
    case Active:
      return "Active";
    case Busy:
      return "Busy";
  }
  return "unknown";
}

}  // namespace activitytracking
