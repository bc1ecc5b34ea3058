// A byte-by-byte model of the writer's string quoting, for tests of its faster loops.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vorlik::testing {

// What the writer must produce for any byte string: the two-character escapes for the
// characters that have one, \u00XX for the other control characters, every other byte as is.
inline std::string reference_quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
          out += esc;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

}  // namespace vorlik::testing
