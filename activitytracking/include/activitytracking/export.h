// Export macro of libactivitytrack. Symbols are hidden by default; only what
// carries ACTIVITYTRACK_EXPORT is part of the library's interface.
#pragma once

#define ACTIVITYTRACK_EXPORT __attribute__((visibility("default")))
