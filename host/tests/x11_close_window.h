// Closing a window from outside, as a window manager's close button does.
// Kept apart from the tests because Xlib's macros clash with GoogleTest.
#pragma once

#include <string>

namespace tarvexwindow::testing {

// Finds the viewable top-level window titled `title` on `display` and asks
// it to close (WM_DELETE_WINDOW). False when there is no such window yet.
bool closeWindowTitled(const std::string& display, const std::string& title);

}  // namespace tarvexwindow::testing
