// Stand-in of the maker's text and environment library (`lingo::i18n`):
// UTF-8/UTF-16 conversion and UTF-16 access to the process environment.
//
// Conversion never throws for malformed text: what cannot be decoded
// becomes U+FFFD. Environment names and values are stored as UTF-8.
// Thread-safety: the environment functions change process-wide state and,
// like POSIX setenv/unsetenv, must not race with other environment access;
// the host calls them from its main thread only. Every environment call is
// recorded in the stand-in journal.
#pragma once

#include <string>

#define TEXTENV_EXPORT __attribute__((visibility("default")))

namespace lingo::i18n {

// Prepares the library (the C locale's character handling from the
// environment). Safe to call more than once.
TEXTENV_EXPORT void initialize();

// The variable's value, empty when it is unset (or set to empty).
TEXTENV_EXPORT std::u16string getenv(const std::string& name);

TEXTENV_EXPORT void unsetenv(const std::string& name);

// Sets `name` to `value`; an existing value is kept unless `overwrite` is
// non-zero. The last argument is accepted for compatibility and ignored.
// Throws std::invalid_argument for an empty name or one holding '='.
TEXTENV_EXPORT void setenv(const std::u16string& name,
                           const std::u16string& value, int overwrite, bool);

TEXTENV_EXPORT std::string to_string(const std::u16string& text);
TEXTENV_EXPORT std::u16string to_ustring(const std::string& text);

}  // namespace lingo::i18n
