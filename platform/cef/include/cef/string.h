// Stand-in of the browser framework's string: UTF-16 text with conversion
// from and to UTF-8 and comparison. Malformed input is carried with U+FFFD
// in place of what cannot be decoded. A value type; not shared.
#pragma once

#include <string>

#include "cef/export.h"

class CEF_STANDIN_EXPORT CefString {
 public:
  CefString() = default;
  CefString(const char* utf8);
  CefString(const std::string& utf8);
  CefString(const char16_t* utf16) : text_(utf16) {}
  CefString(std::u16string utf16) : text_(std::move(utf16)) {}

  std::string toString() const;  // UTF-8
  const std::u16string& toString16() const { return text_; }
  bool empty() const { return text_.empty(); }

  friend bool operator==(const CefString&, const CefString&) = default;

 private:
  std::u16string text_;
};
