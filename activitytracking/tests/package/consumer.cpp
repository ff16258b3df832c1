// Uses only <activitytracking/activitytracking.h> and the installed package.
#include <activitytracking/activitytracking.h>

#include <cstdio>
#include <cstring>

int main() {
  if (std::strcmp(activitytracking::stateName(activitytracking::Busy),
                  "Busy") != 0) {
    return 1;
  }
  std::puts("activitytrack package: ok");
  return 0;
}
