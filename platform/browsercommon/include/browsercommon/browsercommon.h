// Stand-in of the maker's browser common library: window identifiers.
// Thread-safety: may be called from any thread.
#pragma once

#include <string>

#define BROWSERCOMMON_EXPORT __attribute__((visibility("default")))

namespace browsercommon {

// A window id unique in the process and across processes of the machine:
// "window-<process id>-<sequence number from 1>".
BROWSERCOMMON_EXPORT std::string generateWindowID();

}  // namespace browsercommon
