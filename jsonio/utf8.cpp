#include "jsonio/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace vorlik::json {

std::optional<Utf8Fault> find_utf8_fault(std::string_view bytes) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  auto is_cont = [](unsigned char b) { return (b & 0xC0) == 0x80; };
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      ++i;
      // Runs of ASCII, eight bytes at a time.
      while (i + 8 <= n) {
        std::uint64_t v;
        std::memcpy(&v, s + i, 8);
        if (v & 0x8080808080808080ULL) break;
        i += 8;
      }
      continue;
    }
    const std::size_t start = i;
    std::size_t width = 0;
    if (b >= 0xC2 && b <= 0xDF)
      width = 2;
    else if (b >= 0xE0 && b <= 0xEF)
      width = 3;
    else if (b >= 0xF0 && b <= 0xF4)
      width = 4;
    else
      return Utf8Fault{start, 1};
    if (start + 1 >= n) return Utf8Fault{start, 0};
    unsigned char c1 = s[start + 1];
    bool ok1;
    if (width == 2)
      ok1 = is_cont(c1);
    else if (width == 3)
      ok1 = (b == 0xE0)   ? (c1 >= 0xA0 && c1 <= 0xBF)
            : (b == 0xED) ? (c1 >= 0x80 && c1 <= 0x9F)
                          : is_cont(c1);
    else
      ok1 = (b == 0xF0)   ? (c1 >= 0x90 && c1 <= 0xBF)
            : (b == 0xF4) ? (c1 >= 0x80 && c1 <= 0x8F)
                          : is_cont(c1);
    if (!ok1) return Utf8Fault{start, 1};
    for (std::size_t k = 2; k < width; ++k) {
      if (start + k >= n) return Utf8Fault{start, 0};
      if (!is_cont(s[start + k])) return Utf8Fault{start, k};
    }
    i = start + width;
  }
  return std::nullopt;
}

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string describe_utf8_fault(const Utf8Fault& fault) {
  if (fault.length == 0)
    return "incomplete utf-8 byte sequence from index " + std::to_string(fault.index);
  return "invalid utf-8 sequence of " + std::to_string(fault.length) + " bytes from index " +
         std::to_string(fault.index);
}

}  // namespace vorlik::json
