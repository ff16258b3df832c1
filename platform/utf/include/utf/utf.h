// Stand-in only: UTF-8 <-> UTF-16 conversion shared by the stand-ins that
// carry UTF-16 text (the browser framework's strings, the text library).
//
// Conversion never fails: a malformed UTF-8 sequence or an unpaired
// surrogate becomes U+FFFD, so text taken from the command line or the
// environment can always be carried, at worst with replaced characters.
// Header-only; no state.
#pragma once

#include <string>
#include <string_view>

namespace standin::utf {

inline constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at text[i], advancing i past it.
inline char32_t decodeUtf8(std::string_view text, std::size_t& i) {
  const auto byte = [&](std::size_t at) {
    return static_cast<unsigned char>(text[at]);
  };
  const unsigned char lead = byte(i);
  ++i;
  if (lead < 0x80) return lead;
  int length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 1, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 2, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    return kReplacement;
  }
  for (int k = 0; k < length; ++k) {
    if (i >= text.size() || (byte(i) & 0xC0) != 0x80) return kReplacement;
    value = (value << 6) | (byte(i) & 0x3F);
    ++i;
  }
  const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
  if (value < minimum || value > 0x10FFFF || surrogate) return kReplacement;
  return value;
}

inline std::u16string toUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char32_t c = decodeUtf8(text, i);
    if (c < 0x10000) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      const char32_t v = c - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    }
  }
  return out;
}

inline void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

inline std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      appendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) +
                          (char32_t(text[i + 1]) - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      appendUtf8(out, kReplacement);
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace standin::utf
