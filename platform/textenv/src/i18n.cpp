#include "textenv/i18n.h"

#include <clocale>
#include <cstdlib>
#include <stdexcept>

#include "journal/journal.h"
#include "utf/utf.h"

namespace lingo::i18n {

void initialize() {
  std::setlocale(LC_CTYPE, "");
  standin::journal::record("lingo::i18n::initialize");
}

std::u16string getenv(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  standin::journal::record("lingo::i18n::getenv " + name);
  return value ? standin::utf::toUtf16(value) : std::u16string();
}

void unsetenv(const std::string& name) {
  ::unsetenv(name.c_str());
  standin::journal::record("lingo::i18n::unsetenv " + name);
}

void setenv(const std::u16string& name, const std::u16string& value,
            int overwrite, bool) {
  const std::string narrowName = standin::utf::toUtf8(name);
  if (narrowName.empty() || narrowName.find('=') != std::string::npos) {
    throw std::invalid_argument("invalid environment variable name \"" +
                                narrowName + "\"");
  }
  const std::string narrowValue = standin::utf::toUtf8(value);
  if (::setenv(narrowName.c_str(), narrowValue.c_str(), overwrite) != 0) {
    throw std::runtime_error("cannot set environment variable " + narrowName);
  }
  standin::journal::record("lingo::i18n::setenv " + narrowName + "=" +
                           narrowValue);
}

std::string to_string(const std::u16string& text) {
  return standin::utf::toUtf8(text);
}

std::u16string to_ustring(const std::string& text) {
  return standin::utf::toUtf16(text);
}

}  // namespace lingo::i18n
