// The first window's launch options (address, rectangle, visibility) read
// from the command line, and the creation of that window.
//
// An invalid position or visibility value is reported on
// "tarvexwindow::cefclient" at severity 512, naming the switch and the
// value, and that option keeps its default; start-up goes on.
//
// Thread-safety: the process's main thread (the window is a GTK window).
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "cef/command_line.h"

namespace tarvexwindow {

// The address the first window loads when no "url" switch is given.
inline constexpr char kDefaultStartPage[] = "https://www.debian.org/";

struct WindowLaunchOptions {
  std::string url = kDefaultStartPage;
  int x = 0;
  int y = 0;
  int width = 800;
  int height = 600;
  bool visible = true;
  // Read from the title switch; the first window's creation calls carry no
  // title, so it is not applied.
  std::string title;
};

// The four numbers of a position text: tokens separated by runs of commas
// and spaces, each an optional sign and decimal digits within the 32-bit
// range; missing numbers are 0. Throws std::invalid_argument naming the
// fault for a token that is not such a number or for a fifth token.
std::array<int, 4> parsePosition(std::string_view text);

// "1" after any number of "0"s and at most one "+" is true; "0" after any
// number of "0"s and at most one "+" or "-" is false. Throws
// std::invalid_argument for anything else.
bool parseVisibility(std::string_view text);

// Reads the options from the window switches (see above for invalid ones).
WindowLaunchOptions readWindowLaunchOptions(const CefCommandLine& commandLine);

// Opens the first window: a new id and event handler, the native window,
// registered with the product handler before it loads its address.
void openFirstWindow(const WindowLaunchOptions& options);

}  // namespace tarvexwindow
