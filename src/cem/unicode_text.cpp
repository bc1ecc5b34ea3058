#include "src/cem/unicode_text.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "jsonio/utf8.hpp"
#include "src/cem/unicode_tables.hpp"

namespace vorlik {

namespace {

constexpr char32_t kIllFormed = 0xFFFFFFFF;

struct Decoded {
  char32_t code_point;
  std::size_t length;
};

// The code point whose well-formed UTF-8 sequence starts s (no overlong forms, surrogates or
// values past U+10FFFF), or kIllFormed.
Decoded decode_first(std::string_view s) {
  if (s.empty()) return {kIllFormed, 0};
  const auto lead = static_cast<unsigned char>(s[0]);
  if (lead < 0x80) return {lead, 1};
  std::size_t length;
  char32_t cp;
  char32_t min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    return {kIllFormed, 0};
  }
  if (s.size() < length) return {kIllFormed, 0};
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(s[i]);
    if ((byte & 0xC0) != 0x80) return {kIllFormed, 0};
    cp = (cp << 6) | (byte & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {kIllFormed, 0};
  return {cp, length};
}

bool is_trail_byte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool is_white_space(char32_t c) {
  const auto& ranges = unicode_tables::kWhiteSpace;
  const auto* it = std::upper_bound(ranges.begin(), ranges.end(), c,
                                    [](char32_t v, const auto& r) { return v < r.first; });
  return it != ranges.begin() && c <= std::prev(it)->last;
}

template <typename Table>
auto find_mapping(const Table& table, char32_t c) {
  const auto* it = std::lower_bound(table.begin(), table.end(), c,
                                    [](const auto& m, char32_t v) { return m.from < v; });
  return it != table.end() && it->from == c ? &*it : nullptr;
}

void append_uppercase(std::string& out, char32_t c) {
  if (const auto* full = find_mapping(unicode_tables::kFullUppercase, c)) {
    for (std::size_t i = 0; i < full->length; ++i) json::append_utf8(out, full->to[i]);
  } else if (const auto* simple = find_mapping(unicode_tables::kSimpleUppercase, c)) {
    json::append_utf8(out, simple->to);
  } else {
    json::append_utf8(out, c);
  }
}

}  // namespace

std::string_view trim_white_space(std::string_view s) {
  // Most texts start and end with a visible ASCII character: nothing to decode then.
  const auto visible_ascii = [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x80 && b != ' ' && (b < 0x09 || b > 0x0D);
  };
  if (s.empty() || (visible_ascii(s.front()) && visible_ascii(s.back()))) return s;
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin != end) {
    const Decoded d = decode_first(s.substr(begin, end - begin));
    if (d.code_point == kIllFormed || !is_white_space(d.code_point)) break;
    begin += d.length;
  }
  while (begin != end) {
    // Step back to the lead byte of the last character (at most three trail bytes).
    std::size_t lead = end - 1;
    while (lead != begin && end - lead < 4 && is_trail_byte(s[lead])) --lead;
    const Decoded d = decode_first(s.substr(lead, end - lead));
    if (d.code_point == kIllFormed || d.length != end - lead || !is_white_space(d.code_point))
      break;
    end = lead;
  }
  return s.substr(begin, end - begin);
}

void append_upper_first(std::string& out, std::string_view s) {
  if (s.empty()) return;
  if (static_cast<unsigned char>(s[0]) < 0x80) {  // ASCII: only the small letters change
    out.push_back(s[0] >= 'a' && s[0] <= 'z' ? static_cast<char>(s[0] - 'a' + 'A') : s[0]);
    out.append(s.substr(1));
    return;
  }
  const Decoded first = decode_first(s);
  if (first.code_point == kIllFormed) {  // not UTF-8: nothing to map
    out.append(s);
    return;
  }
  append_uppercase(out, first.code_point);
  out.append(s.substr(first.length));
}

}  // namespace vorlik
