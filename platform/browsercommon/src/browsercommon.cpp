#include "browsercommon/browsercommon.h"

#include <unistd.h>

#include <atomic>

#include "journal/journal.h"

namespace browsercommon {

std::string generateWindowID() {
  static std::atomic<unsigned long> sequence{0};
  const std::string id =
      "window-" + std::to_string(::getpid()) + "-" + std::to_string(++sequence);
  standin::journal::record("generateWindowID " + id);
  return id;
}

}  // namespace browsercommon
