#include "jsonio/describe.hpp"

#include <cstdint>
#include <type_traits>

#include "jsonio/chars.hpp"
#include "jsonio/writer.hpp"

namespace vorlik::json {

std::string describe_number(const Number& n) {
  return visit(n, [](auto v) {
    if constexpr (std::is_floating_point_v<decltype(v)>) {
      char buf[32];
      std::size_t len = format_double(v, buf, /*plus_sign=*/false);
      return "floating point `" + std::string(buf, len) + "`";
    } else {
      return "integer `" + std::to_string(v) + "`";
    }
  });
}

namespace {

// \u{1f}: the code point in hexadecimal, without leading zeros.
void append_code_escape(std::string& out, std::uint32_t cp) {
  out += "\\u{";
  bool started = false;
  for (int shift = 20; shift >= 0; shift -= 4) {
    unsigned digit = (cp >> shift) & 15;
    if (digit || started || shift == 0) {
      out.push_back(kHexDigits[digit]);
      started = true;
    }
  }
  out.push_back('}');
}

// C1 controls and the invisible format characters are shown escaped.
bool is_hidden(std::uint32_t cp) {
  return (cp >= 0x80 && cp < 0xA0) || cp == 0xAD || (cp >= 0x200B && cp <= 0x200F) ||
         (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x2064) || cp == 0xFEFF;
}

void append_ascii(std::string& out, unsigned char b) {
  switch (b) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\t':
      out += "\\t";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case 0:
      out += "\\0";
      return;
    default:
      if (b < 0x20 || b == 0x7F)
        append_code_escape(out, b);
      else
        out.push_back(static_cast<char>(b));
  }
}

}  // namespace

std::string describe_string(std::string_view s) {
  std::string out = "string \"";
  for (std::size_t k = 0; k < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[k]);
    if (b < 0x80) {
      append_ascii(out, b);
      ++k;
      continue;
    }
    std::size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    if (k + len > s.size()) len = s.size() - k;
    std::uint32_t cp = b & (0xFF >> (len + 1));
    for (std::size_t m = 1; m < len; ++m) cp = (cp << 6) | (s[k + m] & 0x3F);
    if (is_hidden(cp))
      append_code_escape(out, cp);
    else
      out.append(s.substr(k, len));
    k += len;
  }
  out.push_back('"');
  return out;
}

}  // namespace vorlik::json
