#include "tarvexwindow/system_calls.h"

#include <gtk/gtk.h>
#include <unistd.h>

namespace tarvexwindow {

SystemCalls::SystemCalls()
    : processId([] { return ::getpid(); }),
      setProcessGroup(
          [](pid_t pid, pid_t group) { return ::setpgid(pid, group); }),
      effectiveUserId([] { return ::geteuid(); }),
      initToolkit([](int* argc, char*** argv) { ::gtk_init(argc, argv); }) {}

}  // namespace tarvexwindow
