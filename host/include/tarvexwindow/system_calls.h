// The operating-system and toolkit calls the window host makes directly,
// gathered so that tests can run the host's start-up with their own
// process id, user id, group call and toolkit start. A default-built
// SystemCalls makes the real calls.
//
// Thread-safety: a SystemCalls is a plain value; the host uses it on its
// main thread only.
#pragma once

#include <sys/types.h>

#include <functional>

namespace tarvexwindow {

struct SystemCalls {
  SystemCalls();

  std::function<pid_t()> processId;                  // getpid
  std::function<int(pid_t, pid_t)> setProcessGroup;  // setpgid
  std::function<uid_t()> effectiveUserId;            // geteuid
  std::function<void(int*, char***)> initToolkit;    // gtk_init
};

}  // namespace tarvexwindow
