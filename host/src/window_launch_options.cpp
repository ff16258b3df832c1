#include "tarvexwindow/window_launch_options.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "browserclient/browserclient.h"
#include "browserclient/tarvex_handler.h"
#include "browsercommon/browsercommon.h"
#include "nativewindow/native_window.h"
#include "tarvexwindow/diagnostics.h"

namespace tarvexwindow {
namespace {

constexpr std::string_view kPositionDelimiters = ", ";
constexpr char kDefaultPositionText[] = "0,0,800,600";

std::vector<std::string_view> splitPosition(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t start = text.find_first_not_of(kPositionDelimiters);
  while (start != std::string_view::npos) {
    const std::size_t end = text.find_first_of(kPositionDelimiters, start);
    tokens.push_back(text.substr(start, end - start));
    start = text.find_first_not_of(kPositionDelimiters, end);
  }
  return tokens;
}

// One optional sign and decimal digits, within the 32-bit range.
int toInt32(std::string_view token) {
  const bool negative = !token.empty() && token.front() == '-';
  std::string_view digits = token;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    digits.remove_prefix(1);
  }
  if (digits.empty()) {
    throw std::invalid_argument("\"" + std::string(token) +
                                "\" is not a number");
  }
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  std::int64_t magnitude = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') {
      throw std::invalid_argument("\"" + std::string(token) +
                                  "\" is not a number");
    }
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) {
      throw std::invalid_argument("\"" + std::string(token) +
                                  "\" is out of the 32-bit range");
    }
  }
  return static_cast<int>(negative ? -magnitude : magnitude);
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
  logMessage(cefclientChannel, severity::kError,
             std::string("invalid value \"") + printable(value) +
                 "\" of switch \"" + switchName + "\" (" + fault.what() +
                 "); using the default " + defaultText);
}

std::string switchValue(const CefCommandLine& commandLine, const char* name) {
  return commandLine.getSwitchValue(name).toString();
}

}  // namespace

std::array<int, 4> parsePosition(std::string_view text) {
  const std::vector<std::string_view> tokens = splitPosition(text);
  if (tokens.size() > 4) {
    throw std::invalid_argument("more than four numbers");
  }
  std::array<int, 4> numbers{0, 0, 0, 0};
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    numbers[i] = toInt32(tokens[i]);
  }
  return numbers;
}

bool parseVisibility(std::string_view text) {
  std::string_view rest = text;
  const char sign = rest.empty() ? '\0' : rest.front();
  if (sign == '+' || sign == '-') rest.remove_prefix(1);
  if (!rest.empty() && rest.find_first_not_of('0') == rest.size() - 1 &&
      rest.back() == '1' && sign != '-') {
    return true;
  }
  if (!rest.empty() && rest.find_first_not_of('0') == std::string_view::npos) {
    return false;
  }
  throw std::invalid_argument("not a boolean");
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
