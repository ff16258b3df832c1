#include "tarvexwindow/window_launch_options.h"

#include <boost/lexical_cast.hpp>
#include <boost/tokenizer.hpp>
#include <stdexcept>
#include <string>

#include "browserclient/browserclient.h"
#include "browserclient/tarvex_handler.h"
#include "browsercommon/browsercommon.h"
#include "nativewindow/native_window.h"
#include "tarvexwindow/diagnostics.h"

namespace tarvexwindow {
namespace {

constexpr char kDefaultPositionText[] = "0,0,800,600";

// One optional sign and decimal digits, within the 32-bit range.
int toInt32(const std::string& token) {
  try {
    return boost::lexical_cast<int>(token);
  } catch (const boost::bad_lexical_cast&) {
    const bool digitsOnly =
        token.find_first_not_of("+-0123456789") == std::string::npos;
    throw std::invalid_argument("\"" + token + "\" is not a number" +
                                (digitsOnly ? " in the 32-bit range" : ""));
  }
}

// The value as it may appear in one log line: control characters escaped.
std::string printable(std::string_view value) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '\\' || c == '"') {
      out += '\\';
      if (c == '\\' || c == '"') {
        out += c;
      } else {
        out += 'x';
        out += kHex[byte >> 4];
        out += kHex[byte & 0xf];
      }
    } else {
      out += c;
    }
  }
  return out;
}

void reportInvalidOption(const char* switchName, const std::string& value,
                         const std::exception& fault, const char* defaultText) {
  cefclientChannel.write(severity::kError,
                         std::string("invalid value \"") + printable(value) +
                             "\" of switch \"" + switchName + "\" (" +
                             fault.what() + "); using the default " +
                             defaultText);
}

std::string switchValue(const CefCommandLine& commandLine, const char* name) {
  return commandLine.getSwitchValue(name).toString();
}

}  // namespace

std::array<int, 4> parsePosition(std::string_view text) {
  // Commas and spaces separate numbers; runs of them yield no empty tokens.
  const std::string value(text);
  const boost::char_separator<char> delimiters(", ");
  const boost::tokenizer<boost::char_separator<char>> tokens(value, delimiters);
  std::array<int, 4> numbers{0, 0, 0, 0};
  std::size_t count = 0;
  for (const std::string& token : tokens) {
    if (count == numbers.size()) {
      throw std::invalid_argument("more than four numbers");
    }
    numbers[count++] = toInt32(token);
  }
  return numbers;
}

bool parseVisibility(std::string_view text) {
  // "1" or "0" after any zeros and an optional sign ("-" only before 0).
  try {
    return boost::lexical_cast<bool>(text);
  } catch (const boost::bad_lexical_cast&) {
    throw std::invalid_argument("not a boolean");
  }
}

WindowLaunchOptions readWindowLaunchOptions(const CefCommandLine& commandLine) {
  WindowLaunchOptions options;
  if (commandLine.hasSwitch(cefclient::kUrl)) {
    options.url = switchValue(commandLine, cefclient::kUrl);
  }
  if (commandLine.hasSwitch(cefclient::kTitle)) {
    options.title = switchValue(commandLine, cefclient::kTitle);
  }
  if (commandLine.hasSwitch(cefclient::kPosition)) {
    const std::string value = switchValue(commandLine, cefclient::kPosition);
    try {
      const std::array<int, 4> numbers = parsePosition(value);
      options.x = numbers[0];
      options.y = numbers[1];
      options.width = numbers[2];
      options.height = numbers[3];
    } catch (const std::invalid_argument& fault) {
      reportInvalidOption(cefclient::kPosition, value, fault,
                          kDefaultPositionText);
    }
  }
  if (commandLine.hasSwitch(cefclient::kVisible)) {
    const std::string value = switchValue(commandLine, cefclient::kVisible);
    try {
      options.visible = parseVisibility(value);
    } catch (const std::invalid_argument& fault) {
      reportInvalidOption(cefclient::kVisible, value, fault, "1 (visible)");
    }
  }
  return options;
}

void openFirstWindow(const WindowLaunchOptions& options) {
  const std::string windowId = browsercommon::generateWindowID();
  scoped_refptr<WindowEventHandler> eventHandler(new WindowEventHandler);
  eventHandler->windowId = windowId;
  scoped_refptr<NativeWindow> window = NativeWindow::makeNativeWindow(
      windowId, true, false, eventHandler, std::string(), std::string());
  const auto productHandler = client::tarvex_interface::getTarvexHandler();
  // The product handler learns of the window before it loads its address.
  productHandler->registerWindow(window, eventHandler);
  window->newWindow(
      options.url, CefRect(options.x, options.y, options.width, options.height),
      options.visible, "Standard", std::string(), false);
}

}  // namespace tarvexwindow
